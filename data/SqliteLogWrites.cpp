#include "data/SqliteLogWrites.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kv {

namespace {

constexpr int kWalHeaderBytes = 32;
constexpr int kFrameHeaderBytes = 24;
// Appends beyond this are written before the next frame is gathered (a
// large transaction spilling pages before its commit).
constexpr int64_t kGatherLimit = 1 << 20;
// The most one write of the base layer takes (the default one writes at
// most 128 KiB - 1 bytes a call, and reports a longer write as a full disk).
constexpr int64_t kWriteChunk = 1 << 16;

sqlite3_vfs* g_base = nullptr;  // the default layer, set once at registration

// Lives in memory SQLite allocates (szOsFile bytes): plain data only, the
// base layer's file right behind it.
struct TFile {
  sqlite3_file file;     // must come first: SQLite sees this
  sqlite3_file* base;    // the base layer's file, in the same allocation
  bool log;              // a write-ahead log: appends are gathered
  bool expectPage;       // a frame header is gathered; its page comes next
  bool commitFrame;      // that frame ends a commit
  char* data;            // gathered bytes (sqlite3_malloc64), from `start`
  int64_t start, size, capacity;
};
// The base layer's file follows at an 8-byte boundary.
static_assert(sizeof(TFile) % 8 == 0);

TFile* Of(sqlite3_file* f) { return reinterpret_cast<TFile*>(f); }

// Writes what is gathered; it is dropped whether or not that succeeds.
int Flush(TFile* p) {
  p->expectPage = p->commitFrame = false;
  if (p->size == 0) return SQLITE_OK;
  const int64_t size = p->size;
  p->size = 0;
  for (int64_t done = 0; done < size; done += kWriteChunk) {
    const int64_t n = std::min(kWriteChunk, size - done);
    const int rc = p->base->pMethods->xWrite(p->base, p->data + done, static_cast<int>(n), p->start + done);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

bool Gather(TFile* p, const void* bytes, int amount, sqlite3_int64 offset) {
  if (p->size != 0 && offset != p->start + p->size) return false;
  if (p->size + amount > p->capacity) {
    const int64_t capacity = std::max<int64_t>(p->size + amount, 2 * p->capacity + 64 * 1024);
    void* grown = sqlite3_realloc64(p->data, static_cast<sqlite3_uint64>(capacity));
    if (!grown) return false;
    p->data = static_cast<char*>(grown);
    p->capacity = capacity;
  }
  if (p->size == 0) p->start = offset;
  std::memcpy(p->data + p->size, bytes, static_cast<size_t>(amount));
  p->size += amount;
  return true;
}

int Close(sqlite3_file* f) {
  TFile* p = Of(f);
  int rc = p->log ? Flush(p) : SQLITE_OK;
  sqlite3_free(p->data);
  p->data = nullptr;
  const int closed = p->base->pMethods ? p->base->pMethods->xClose(p->base) : SQLITE_OK;
  return rc != SQLITE_OK ? rc : closed;
}

int Read(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
  TFile* p = Of(f);
  if (p->log) {
    if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  }
  return p->base->pMethods->xRead(p->base, out, amount, offset);
}

int Write(sqlite3_file* f, const void* bytes, int amount, sqlite3_int64 offset) {
  TFile* p = Of(f);
  if (!p->log) return p->base->pMethods->xWrite(p->base, bytes, amount, offset);
  const bool walHeader = amount == kWalHeaderBytes && offset == 0 && p->size == 0 && !p->expectPage;
  const bool frameHeader = amount == kFrameHeaderBytes && !p->expectPage;
  const bool page = p->expectPage && amount > kWalHeaderBytes;
  if ((walHeader || frameHeader || page) && p->size + amount <= kGatherLimit + 65536 + kFrameHeaderBytes &&
      Gather(p, bytes, amount, offset)) {
    if (frameHeader) {
      const auto* h = static_cast<const unsigned char*>(bytes);
      p->expectPage = true;
      p->commitFrame = (h[4] | h[5] | h[6] | h[7]) != 0;
      return SQLITE_OK;
    }
    if (page) {
      const bool commit = p->commitFrame;
      p->expectPage = p->commitFrame = false;
      // The commit is written before SQLite lets anyone see it.
      if (commit || p->size >= kGatherLimit) return Flush(p);
    }
    return SQLITE_OK;
  }
  if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  return p->base->pMethods->xWrite(p->base, bytes, amount, offset);
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  TFile* p = Of(f);
  if (p->log) {
    if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  }
  return p->base->pMethods->xTruncate(p->base, size);
}

int Sync(sqlite3_file* f, int flags) {
  TFile* p = Of(f);
  if (p->log) {
    if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  }
  return p->base->pMethods->xSync(p->base, flags);
}

int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  TFile* p = Of(f);
  if (p->log) {
    if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  }
  return p->base->pMethods->xFileSize(p->base, size);
}

int Lock(sqlite3_file* f, int level) { return Of(f)->base->pMethods->xLock(Of(f)->base, level); }
int Unlock(sqlite3_file* f, int level) { return Of(f)->base->pMethods->xUnlock(Of(f)->base, level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return Of(f)->base->pMethods->xCheckReservedLock(Of(f)->base, out);
}

int FileControl(sqlite3_file* f, int op, void* arg) {
  TFile* p = Of(f);
  if (p->log) {
    if (const int rc = Flush(p); rc != SQLITE_OK) return rc;
  }
  return p->base->pMethods->xFileControl(p->base, op, arg);
}

int SectorSize(sqlite3_file* f) { return Of(f)->base->pMethods->xSectorSize(Of(f)->base); }
int DeviceCharacteristics(sqlite3_file* f) {
  return Of(f)->base->pMethods->xDeviceCharacteristics(Of(f)->base);
}

int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  sqlite3_file* b = Of(f)->base;
  return b->pMethods->iVersion >= 2 ? b->pMethods->xShmMap(b, page, size, extend, out) : SQLITE_IOERR;
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  sqlite3_file* b = Of(f)->base;
  return b->pMethods->iVersion >= 2 ? b->pMethods->xShmLock(b, offset, n, flags) : SQLITE_IOERR;
}
void ShmBarrier(sqlite3_file* f) {
  sqlite3_file* b = Of(f)->base;
  if (b->pMethods->iVersion >= 2) b->pMethods->xShmBarrier(b);
}
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
  sqlite3_file* b = Of(f)->base;
  return b->pMethods->iVersion >= 2 ? b->pMethods->xShmUnmap(b, deleteFlag) : SQLITE_OK;
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  sqlite3_file* b = Of(f)->base;
  if (b->pMethods->iVersion >= 3) return b->pMethods->xFetch(b, offset, amount, out);
  *out = nullptr;
  return SQLITE_OK;
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  sqlite3_file* b = Of(f)->base;
  return b->pMethods->iVersion >= 3 ? b->pMethods->xUnfetch(b, offset, page) : SQLITE_OK;
}

const sqlite3_io_methods g_methods = {
    3,        Close,     Read,     Write,      Truncate,   Sync,       FileSize, Lock, Unlock, CheckReservedLock,
    FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
  TFile* p = Of(f);
  std::memset(p, 0, sizeof *p);
  p->base = reinterpret_cast<sqlite3_file*>(p + 1);
  const int rc = g_base->xOpen(g_base, name, p->base, flags, outFlags);
  if (rc != SQLITE_OK) {
    if (p->base->pMethods) p->base->pMethods->xClose(p->base);
    p->file.pMethods = nullptr;
    return rc;
  }
  p->log = (flags & SQLITE_OPEN_WAL) != 0;
  p->file.pMethods = &g_methods;
  return SQLITE_OK;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) { return g_base->xDelete(g_base, name, syncDir); }
int Access(sqlite3_vfs*, const char* name, int flags, int* out) { return g_base->xAccess(g_base, name, flags, out); }
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return g_base->xFullPathname(g_base, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return g_base->xDlOpen(g_base, name); }
void DlError(sqlite3_vfs*, int size, char* out) { g_base->xDlError(g_base, size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) { return g_base->xDlSym(g_base, handle, symbol); }
void DlClose(sqlite3_vfs*, void* handle) { g_base->xDlClose(g_base, handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return g_base->xRandomness(g_base, size, out); }
int Sleep(sqlite3_vfs*, int micros) { return g_base->xSleep(g_base, micros); }
int CurrentTime(sqlite3_vfs*, double* out) { return g_base->xCurrentTime(g_base, out); }
int GetLastError(sqlite3_vfs*, int size, char* out) {
  return g_base->xGetLastError ? g_base->xGetLastError(g_base, size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  if (g_base->iVersion >= 2 && g_base->xCurrentTimeInt64) return g_base->xCurrentTimeInt64(g_base, out);
  double days = 0;
  const int rc = g_base->xCurrentTime(g_base, &days);
  *out = static_cast<sqlite3_int64>(days * 86400000.0);
  return rc;
}

const char* Register() {
  if (sqlite3_initialize() != SQLITE_OK) return nullptr;
  g_base = sqlite3_vfs_find(nullptr);
  if (!g_base) return nullptr;
  static sqlite3_vfs vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = static_cast<int>(sizeof(TFile)) + g_base->szOsFile;
  vfs.mxPathname = g_base->mxPathname;
  vfs.zName = "vandrel-log-writes";
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK) return nullptr;
  return vfs.zName;
}

}  // namespace

const char* SqliteLogWritesVfs() {
  static const char* const name = Register();
  return name;
}

}  // namespace kv
