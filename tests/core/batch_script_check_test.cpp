// The check of a script before it runs: each kind of doubtful line against
// what is said about it, and lines the language takes as they are left alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "batch/script_check.h"
#include "batch/script_file.h"

namespace qv {
namespace {

TEST(ScriptCheck, EachKindOfDoubtfulLine) {
  const struct {
    const char* line;
    const char* note;  // empty: nothing to say
  } cases[] = {
      // Mistyped keywords: shown, nothing else; the likely one named.
      {"LEVL/T", "LEVL is not a keyword (LEVEL?); the line is shown and does nothing"},
      {"level/t", "level is not a keyword (LEVEL?); the line is shown and does nothing"},
      {"LEVEL /T", "\"LEVEL \" is not a keyword (LEVEL?); the line is shown and does nothing"},
      {"R_SECTOR/0/0/0/8/0/10/t.bin", "R_SECTOR is not a keyword (R_SECTORS?); the line is shown and does nothing"},
      {"FOO/bar", "FOO is not a keyword; the line is shown and does nothing"},
      {"SLEEP 100", "no \"/\" after the keyword SLEEP; the line is shown and does nothing"},
      // A rate that is none means 9600; the rate likely meant is named.
      {"SPEED/11520", "not a rate; 9600 is used (115200?)"},
      {"BAUDRATE/fast", "not a rate; 9600 is used"},
      {"SPEED/", "the rate is missing; 9600 is used"},
      // Fields missing: the first one named, with the statement's form.
      {"R_BUF/10/2", "the file is missing (R_BUF/start block/block count/file)"},
      {"W_SECTORS/10/0/0/8/0/t.bin",
       "the file is missing (W_SECTORS/cylinder/head/buffer/chunk/start sector/sector count/file)"},
      {"SEND_FILE/512", "the file is missing (SEND_FILE/block size/file)"},
      {"CMP_FILE/a.bin", "the second file is missing (CMP_FILE/first file/second file)"},
      {"R_BUF/0/1/", "the file name is missing; the run ends at this line"},
      {"LEVEL/", "the level letter is missing; the run ends at this line"},
      // Numbers that would end the run halfway.
      {"DEC/zz", "the byte 'zz' is not a decimal number; the run ends at this line"},
      {"HEX/1G", "the byte '1G' is not a hexadecimal number; the run ends at this line"},
      {"R_BUF/0//f.bin", "the block count is missing; the run ends at this line"},
      {"SEND_FILE/1k/f.bin", "the block size '1k' is not a decimal number; the run ends at this line"},
      {"R_SECTORS/10/0/0/8/0/1O/t.bin", "the sector count '1O' is not a hexadecimal number; the run ends at this line"},
      // A field dropped before the file name that is likely a path cut short.
      {"R_SECTORS/10/0/0/8/0/10//tmp/t.bin", "\"/\" before the file name is dropped; the file is tmp/t.bin"},
      {"R_SECTORS/10/0/0/8/0/10/dir/t.bin", "\"dir/\" before the file name is dropped; the file is t.bin"},
      // What the language takes as it is.
      {"R_SECTORS/10/0/0/8/0/10/-//tmp/t.bin", ""},
      {"R_BUF/0/1/dir/f.bin", ""},
      {"W_SECTORS/11/0/buffer text/8/0/10/t.bin", ""},
      {"SPEED/921600", ""},
      {"ECHO/any text / with slashes", ""},
      {"STR/", ""},
      {"CREAT_FILE/part.bin/2/1////sector2.bin", ""},
      {"CMP_FILE/a.bin//tmp/b.bin", ""},
      {"// a comment", ""},
      {"just a note", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::vector<ScriptNote> notes = CheckScript({"ECHO/first", c.line});
    if (*c.note == '\0') {
      EXPECT_TRUE(notes.empty()) << NoteLine(notes.front());
      continue;
    }
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes.front().text, c.note);
  }
  EXPECT_EQ(NoteLine(CheckScript({"SPEED/11520"}).front()), "line 1 (SPEED/11520): not a rate; 9600 is used (115200?)");
}

// The examples are what a newcomer copies: none of their lines is doubtful.
TEST(ScriptCheck, ExamplesHaveNoDoubtfulLine) {
  for (const auto& entry : std::filesystem::directory_iterator(QV_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".cmd") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const LoadedScript script = LoadScript(entry.path().string());
    ASSERT_EQ(script.error, "");
    for (const ScriptNote& note : CheckScript(script.lines)) ADD_FAILURE() << NoteLine(note);
  }
}

}  // namespace
}  // namespace qv
