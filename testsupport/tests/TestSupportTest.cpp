// The shared test helpers: the case-file reader (line ends, escapes, short
// and missing lines, file order), temporary files and folders, ErrorOf.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kvtest {
namespace {

namespace fs = std::filesystem;

std::vector<std::vector<std::string>> FieldsOf(const std::vector<CaseRow>& rows) {
  std::vector<std::vector<std::string>> out;
  for (const CaseRow& r : rows) out.push_back(r.fields);
  return out;
}

TEST(CaseFiles, UnescapeUndoesTheFourEscapesAndKeepsOtherCharacters) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"", ""},           {"plain", "plain"}, {"a\\tb", "a\tb"}, {"\\r\\n", "\r\n"},
      {"\\\\t", "\\t"},   {"\\'", "'"},       {"end\\", "end\\"}, {"\\\\\\n", "\\\n"},
  };
  for (const Row& r : rows) EXPECT_EQ(Unescape(r.in), r.out) << r.in;
}

TEST(CaseFiles, RowsSkipCommentsAndBlankLinesAndKeepTheirLineNumbers) {
  const std::string path = WriteTempFile("casefiles", "rows.txt",
                                         "# comment\n"
                                         "\n"
                                         "1 + 1\tetInteger\t2\n"
                                         " # not a comment\tx\ty\n");
  const std::vector<CaseRow> rows = ReadCaseFile(path, 3);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].file, "casefiles-" + std::to_string(::getpid()) + "-rows");
  EXPECT_EQ(rows[0].line, 3);
  EXPECT_EQ(rows[1].line, 4);
  EXPECT_EQ(FieldsOf(rows), (std::vector<std::vector<std::string>>{{"1 + 1", "etInteger", "2"},
                                                                   {" # not a comment", "x", "y"}}));
  for (const CaseRow& r : rows) EXPECT_EQ(r.problem, "");
}

TEST(CaseFiles, WindowsLineEndsReadTheSameAndEscapedCrStays) {
  const std::string unix = WriteTempFile("casefiles", "lf.txt", "a\tb\\r\n#x\r\nc\td\n");
  const std::string dos = WriteTempFile("casefiles", "crlf.txt", "a\tb\\r\r\n#x\r\n\r\nc\td\r\n");
  EXPECT_EQ(FieldsOf(ReadCaseFile(unix, 2)), FieldsOf(ReadCaseFile(dos, 2)));
  EXPECT_EQ(FieldsOf(ReadCaseFile(dos, 2)), (std::vector<std::vector<std::string>>{{"a", "b\r"}, {"c", "d"}}));
}

TEST(CaseFiles, TheLastFieldTakesTheRestOfTheLine) {
  const std::string path = WriteTempFile("casefiles", "rest.txt", "e\tt\tx\ty\\tz\t\n");
  EXPECT_EQ(FieldsOf(ReadCaseFile(path, 3)), (std::vector<std::vector<std::string>>{{"e", "t", "x\ty\tz\t"}}));
  EXPECT_EQ(FieldsOf(ReadCaseFile(path, 1)), (std::vector<std::vector<std::string>>{{"e\tt\tx\ty\tz\t"}}));
}

TEST(CaseFiles, ShortLinesAndEmptyOrMissingFilesAreProblemsNotSilence) {
  const std::string shortLine = WriteTempFile("casefiles", "short.txt", "a\tb\tc\nonly\tone tab\n\tx\t\n");
  const std::vector<CaseRow> rows = ReadCaseFile(shortLine, 3);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].problem, "");
  EXPECT_EQ(rows[1].line, 2);
  EXPECT_NE(rows[1].problem.find("only\tone tab"), std::string::npos) << rows[1].problem;
  EXPECT_TRUE(rows[1].fields.empty());
  EXPECT_EQ(rows[2].problem, "");  // empty fields are fields
  EXPECT_EQ(rows[2].fields, (std::vector<std::string>{"", "x", ""}));

  const std::string comments = WriteTempFile("casefiles", "comments.txt", "# nothing\n\n");
  for (const std::string& path : {comments, TempFilePath("casefiles", "missing.txt")}) {
    const std::vector<CaseRow> none = ReadCaseFile(path, 3);
    ASSERT_EQ(none.size(), 1u) << path;
    EXPECT_NE(none[0].problem, "") << path;
  }
}

TEST(CaseFiles, AFolderIsReadFileByFileInNameOrder) {
  TempFolder folder("casefolder");
  WriteFile(folder.File("cases_b.txt"), "b1\t1\n");
  WriteFile(folder.File("cases_a.txt"), "a1\t1\na2\t2\n");
  WriteFile(folder.File("cases_c.csv"), "not\tread\n");
  WriteFile(folder.File("other.txt"), "not\tread\n");
  fs::create_directory(folder.File("cases_d.txt"));
  const std::vector<CaseRow> rows = ReadCaseFiles(folder.Path(), "cases_", 2);
  EXPECT_EQ(FieldsOf(rows), (std::vector<std::vector<std::string>>{{"a1", "1"}, {"a2", "2"}, {"b1", "1"}}));
  std::vector<std::string> names;
  for (const CaseRow& r : rows) names.push_back(CaseName(r));
  EXPECT_EQ(names, (std::vector<std::string>{"cases_a_line1", "cases_a_line2", "cases_b_line1"}));

  const std::vector<CaseRow> none = ReadCaseFiles(folder.Path(), "nothing_", 2);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_NE(none[0].problem, "");
  EXPECT_EQ(CaseName(none[0]), "nothing__line0");
}

TEST(TempFiles, NamesCarryThePrefixAndTheProcessAndDiffer) {
  const std::string a = TempFilePath("tempfiles", "x.bin");
  const std::string b = TempFilePath("tempfiles", "y.bin");
  EXPECT_NE(a, b);
  EXPECT_NE(a.find("tempfiles-" + std::to_string(::getpid()) + "-x.bin"), std::string::npos) << a;
  WriteFile(a, std::string("\0\r\n\xff", 4));
  EXPECT_EQ(ReadFile(a), std::string("\0\r\n\xff", 4));
  WriteFile(a, "");
  EXPECT_EQ(ReadFile(a), "");
  EXPECT_EQ(ReadFile(TempFilePath("tempfiles", "never-written")), "");
}

TEST(TempFiles, FoldersAreNewAndGoWithEverythingInThem) {
  TempFolder outside("tempfolder");
  WriteFile(outside.File("keep.txt"), "keep");
  std::string gone;
  {
    TempFolder one("tempfolder");
    EXPECT_NE(one.Path(), outside.Path());
    EXPECT_TRUE(fs::is_empty(one.Path()));
    gone = one.Path();
    // A locked subfolder holding a file, and a link to a folder that must
    // survive.
    fs::create_directories(one.File("sub/deeper"));
    WriteFile(one.File("sub/deeper/f.txt"), "x");
    fs::create_directory_symlink(outside.Path(), one.File("link"));
    ::chmod(one.File("sub/deeper").c_str(), 0);
    ::chmod(one.File("sub").c_str(), 0);
  }
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_EQ(ReadFile(outside.File("keep.txt")), "keep");
  const std::string lasting = NewTempFolder("tempfolder");
  EXPECT_TRUE(fs::is_directory(lasting));
  EXPECT_TRUE(fs::is_empty(lasting));
}

TEST(ErrorOf, GivesTheMessageOfTheNamedKindOnly) {
  EXPECT_EQ(ErrorOf([] { throw kv::EConvertError("bad number"); }), "bad number");
  EXPECT_EQ(ErrorOf<kv::EConvertError>([] { throw kv::EConvertError("bad date"); }), "bad date");
  EXPECT_EQ(ErrorOf([] {}), "(no error)");
  EXPECT_THROW(ErrorOf<kv::EConvertError>([] { throw kv::Exception("other kind"); }), kv::Exception);
  EXPECT_THROW(ErrorOf([] { throw std::runtime_error("not ours"); }), std::runtime_error);
}

}  // namespace
}  // namespace kvtest
