/* The independent Paradox reader and writer of the interop tests, standing
 * on pxlib (a library of its own, not part of this program).
 *
 *   pxdump read TABLE.db [TABLE.mb]
 *     prints "fields N", one line "NAME TYPE LEN" per field, "records N",
 *     then one line per record: the values separated by '|' (NULL for a
 *     blank; dates yyyy-mm-dd; times and timestamps in milliseconds;
 *     numbers %.10g; alpha and memo text as stored, in the table's code
 *     page; BLOB and bytes values in hexadecimal).
 *   pxdump write TABLE.db TABLE.mb CODEPAGE
 *     writes a table of four records covering alpha, short, long, number,
 *     currency, logical, date, memo (short and long), BLOB, time,
 *     timestamp and autoincrement fields.
 * Exit status 0 on success, 1 with a message on stderr otherwise.
 *
 * pxlib 0.6.8 (Debian 12) overruns a stack buffer when it opens a BLOB file
 * whose size is a multiple of 4 KB (any valid one, its own included) and
 * skips that code when the size is not: "read" hands it a copy of the BLOB
 * file with one byte appended. */
#include <paradox.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failed = 0;

static void OnError(pxdoc_t *p, int type, const char *msg, void *data) {
  (void)p;
  (void)data;
  if (strstr(msg, "not multiple of 4kB")) return; /* the padded copy, see above */
  fprintf(stderr, "pxlib error %d: %s\n", type, msg);
  if (type != PX_Warning) failed = 1;
}

static void PrintHex(const char *s, int n) {
  for (int i = 0; i < n; ++i) printf("%02x", (unsigned char)s[i]);
}

static void PrintValue(pxfield_t *f, pxval_t *v) {
  int y, m, d;
  if (v->isnull) {
    printf("NULL");
    return;
  }
  switch (f->px_ftype) {
    case pxfDate:
      PX_SdnToGregorian(v->value.lval + 1721425, &y, &m, &d);
      printf("%04d-%02d-%02d", y, m, d);
      break;
    case pxfShort: case pxfLong: case pxfAutoInc: case pxfLogical: case pxfTime:
      printf("%ld", v->value.lval);
      break;
    case pxfNumber: case pxfCurrency:
      printf("%.10g", v->value.dval);
      break;
    case pxfTimestamp:
      printf("%.0f", v->value.dval);
      break;
    case pxfAlpha: case pxfBCD: case pxfMemoBLOb: case pxfFmtMemoBLOb:
      fwrite(v->value.str.val, 1, (size_t)v->value.str.len, stdout);
      break;
    default:
      PrintHex(v->value.str.val, v->value.str.len);
  }
}

/* Copies `blob` to `copy` with one byte more (see above); 0 on success. */
static int PaddedCopy(const char *blob, char *copy, size_t size) {
  snprintf(copy, size, "%s.pxdump", blob);
  FILE *in = fopen(blob, "rb"), *out = fopen(copy, "wb");
  if (!in || !out) return 1;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, in)) > 0;) fwrite(buf, 1, n, out);
  fputc(0, out);
  fclose(in);
  return fclose(out) != 0;
}

static int Read(const char *table, const char *blob) {
  pxdoc_t *doc = PX_new2(OnError, NULL, NULL, NULL);
  char copy[4096];
  if (PX_open_file(doc, table) < 0) return 1;
  if (blob && (PaddedCopy(blob, copy, sizeof copy) != 0 || PX_set_blob_file(doc, copy) < 0)) return 1;
  int n = PX_get_num_fields(doc);
  pxfield_t *fields = PX_get_fields(doc);
  printf("fields %d\n", n);
  for (int i = 0; i < n; ++i) printf("%s %d %d\n", fields[i].px_fname, fields[i].px_ftype, fields[i].px_flen);
  int records = PX_get_num_records(doc);
  printf("records %d\n", records);
  for (int r = 0; r < records; ++r) {
    pxval_t **values = PX_retrieve_record(doc, r);
    if (!values) return 1;
    for (int i = 0; i < n; ++i) {
      if (i) printf("|");
      PrintValue(&fields[i], values[i]);
      if (!values[i]->isnull && values[i]->value.str.val &&
          (fields[i].px_ftype == pxfAlpha || fields[i].px_ftype == pxfBCD || fields[i].px_ftype >= pxfMemoBLOb) &&
          fields[i].px_ftype != pxfTime && fields[i].px_ftype != pxfTimestamp && fields[i].px_ftype != pxfAutoInc)
        doc->free(doc, values[i]->value.str.val);
      doc->free(doc, values[i]);
    }
    doc->free(doc, values);
    printf("\n");
  }
  PX_close(doc);
  PX_delete(doc);
  if (blob) remove(copy);
  return failed;
}

static void Field(pxfield_t *f, const char *name, char type, int len) {
  f->px_fname = strdup(name);
  f->px_ftype = type;
  f->px_flen = len;
  f->px_fdc = 0;
}

static int Write(const char *table, const char *blob, const char *codepage) {
  pxfield_t *f = calloc(12, sizeof(pxfield_t));
  Field(&f[0], "NAME", pxfAlpha, 20);
  Field(&f[1], "SMALL", pxfShort, 2);
  Field(&f[2], "BIG", pxfLong, 4);
  Field(&f[3], "AMOUNT", pxfNumber, 8);
  Field(&f[4], "PRICE", pxfCurrency, 8);
  Field(&f[5], "OK", pxfLogical, 1);
  Field(&f[6], "BORN", pxfDate, 4);
  Field(&f[7], "NOTE", pxfMemoBLOb, 15);
  Field(&f[8], "DATA", pxfBLOb, 10);
  Field(&f[9], "AT", pxfTime, 4);
  Field(&f[10], "STAMP", pxfTimestamp, 8);
  Field(&f[11], "ID", pxfAutoInc, 4);
  pxdoc_t *doc = PX_new2(OnError, NULL, NULL, NULL);
  if (PX_create_file(doc, f, 12, table, pxfFileTypNonIndexDB) < 0) return 1;
  PX_set_parameter(doc, "codepage", codepage);
  if (PX_set_blob_file(doc, blob) < 0) return 1;
  char *longNote = malloc(5001);
  for (int i = 0; i < 5000; ++i) longNote[i] = (char)('a' + i % 26);
  longNote[5000] = 0;
  for (int r = 0; r < 4; ++r) {
    pxval_t *v[12];
    for (int i = 0; i < 12; ++i) {
      MAKE_PXVAL(doc, v[i]);
      v[i]->type = f[i].px_ftype;
    }
    char name[32], note[64];
    snprintf(name, sizeof name, "row %d", r + 1);
    v[0]->value.str.val = name;
    v[0]->value.str.len = (int)strlen(name);
    v[1]->value.lval = -100 * r;
    v[2]->value.lval = 100000 * r - 7;
    v[3]->value.dval = r * 1.5 - 2;
    v[4]->value.dval = r * 10.25;
    v[5]->value.lval = r % 2;
    v[6]->value.lval = PX_GregorianToSdn(2020, 1 + r, 10 + r) - 1721425;
    if (r == 0) {
      snprintf(note, sizeof note, "short");
      v[7]->value.str.val = note;
    } else if (r == 1) {
      snprintf(note, sizeof note, "a note a little longer than its leader");
      v[7]->value.str.val = note;
    } else if (r == 2) {
      v[7]->value.str.val = longNote;
    } else {
      v[7]->isnull = 1;
    }
    if (!v[7]->isnull) v[7]->value.str.len = (int)strlen(v[7]->value.str.val);
    v[8]->value.str.val = "\x01\x02\x03\x00\xff bytes beyond the leader";
    v[8]->value.str.len = 30;
    v[9]->value.lval = (12 * 3600 + 34 * 60 + 56) * 1000 + r;
    v[10]->value.dval = (double)(PX_GregorianToSdn(1999, 12, 31) - 1721425) * 86400000.0 + 1000.0 * r;
    v[11]->value.lval = r + 1;
    int rc = PX_insert_record(doc, v);
    for (int i = 0; i < 12; ++i) FREE_PXVAL(doc, v[i]);
    if (rc < 0) return 1;
  }
  free(longNote);
  PX_close(doc);
  PX_delete(doc);
  return failed;
}

int main(int argc, char **argv) {
  PX_boot();
  int rc = 1;
  if (argc >= 3 && strcmp(argv[1], "read") == 0) rc = Read(argv[2], argc > 3 ? argv[3] : NULL);
  else if (argc == 5 && strcmp(argv[1], "write") == 0) rc = Write(argv[2], argv[3], argv[4]);
  else fprintf(stderr, "usage: pxdump read TABLE.db [TABLE.mb] | pxdump write TABLE.db TABLE.mb CODEPAGE\n");
  PX_shutdown();
  return rc;
}
