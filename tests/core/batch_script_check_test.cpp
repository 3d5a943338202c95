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
      {"LEVL/T", "LEVL is no keyword: the line is shown and does nothing (LEVEL?)"},
      {"level/t", "level is no keyword: the line is shown and does nothing (LEVEL?)"},
      {"LEVEL /T", "\"LEVEL \" is no keyword: the line is shown and does nothing (LEVEL?)"},
      {"R_SECTOR/0/0/0/8/0/10/t.bin", "R_SECTOR is no keyword: the line is shown and does nothing (R_SECTORS?)"},
      {"FOO/bar", "FOO is no keyword: the line is shown and does nothing"},
      {"SLEEP 100", "SLEEP 100 has no \"/\" after its keyword: the line is shown and does nothing"},
      // A rate that is none means 9600.
      {"SPEED/11520", "SPEED 11520 is no rate: 9600"},
      {"BAUDRATE/fast", "BAUDRATE fast is no rate: 9600"},
      {"SPEED/", "SPEED names no rate: 9600"},
      // Fields missing.
      {"R_BUF/10/2", "R_BUF needs 4 fields, has 3"},
      {"W_SECTORS/10/0/0/8/0/t.bin", "W_SECTORS needs 8 fields, has 7"},
      {"SEND_FILE/512", "SEND_FILE needs 3 fields, has 2"},
      {"CREAT_FILE/a/0/1/b/0/1", "CREAT_FILE needs 8 fields, has 7"},
      {"CMP_FILE/a.bin", "CMP_FILE needs 3 fields, has 2"},
      {"R_BUF/0/1/", "R_BUF names no file: the run ends at this line"},
      {"LEVEL/", "LEVEL names no level: the run ends at this line"},
      // Numbers that would end the run halfway.
      {"DEC/zz", "DEC byte 'zz' is no decimal number: the run ends at this line"},
      {"HEX/1G", "HEX byte '1G' is no hexadecimal number: the run ends at this line"},
      {"SLEEP/1s", "SLEEP time '1s' is no decimal number: the run ends at this line"},
      {"R_BUF/x/2/f.bin", "R_BUF start block 'x' is no hexadecimal number: the run ends at this line"},
      {"SEND_FILE/1k/f.bin", "SEND_FILE block size '1k' is no decimal number: the run ends at this line"},
      {"R_SECTORS/10/0/0/8/0/1O/t.bin", "R_SECTORS sector count '1O' is no hexadecimal number: the run ends at this line"},
      // A field dropped before the file name that is likely a path cut short.
      {"R_SECTORS/10/0/0/8/0/10//tmp/t.bin", "R_SECTORS drops \"/\" before the file name: the file is tmp/t.bin"},
      {"R_SECTORS/10/0/0/8/0/10/dir/t.bin", "R_SECTORS drops \"dir/\" before the file name: the file is t.bin"},
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
    EXPECT_EQ(NoteLine(notes.front()), std::string("line 2: ") + c.note);
  }
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
