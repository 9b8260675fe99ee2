// The configuration file: sample files good and broken, the command line
// staying stronger than the file, print_config and parse_size.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "board/output.h"
#include "frontend/config.h"
#include "frontend/frontend.h"

namespace {

struct Settings {
    int resign = 700;
    int hash = 33554432;
    std::string log = "";
    std::string book = "quarvel.bok";
    int tb_cache = 1048576;
    std::string tb = "c:\\chess\\tb";
};

void reset_config()
{
    static char empty[] = "";
    static char book[] = "quarvel.bok";
    static char tb[] = "c:\\chess\\tb";
    resign_threshold = 700;
    hash_total_bytes = 33554432;
    log_file_name = empty;
    book_file_name = book;
    tb_cache_bytes = 1048576;
    tb_path = tb;
    for (ConfigItem& item : CONFIG_TABLE)
        item.is_set = item.fixed = 0;
}

Settings current()
{
    Settings s;
    s.resign = resign_threshold;
    s.hash = hash_total_bytes;
    s.log = log_file_name;
    s.book = book_file_name;
    s.tb_cache = tb_cache_bytes;
    s.tb = tb_path;
    return s;
}

std::string write_file(const std::string& text)
{
    static int counter = 0;
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/quarvel_cfg_" +
                       std::to_string(getpid()) + "_" + std::to_string(counter++) + ".cfg";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Loads the text as a configuration file; returns what went to standard output.
std::string load_text(const std::string& text)
{
    const std::string path = write_file(text);
    protocol_mode = PROTOCOL_CONSOLE;
    testing::internal::CaptureStdout();
    load_config(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    std::remove(path.c_str());
    return out;
}

struct FileRow {
    const char* what;
    std::string text;
    Settings expected;
    std::string warning;   // expected in the output, or "" for no warning at all
};

Settings with(void (*change)(Settings&))
{
    Settings s;
    change(s);
    return s;
}

TEST(ConfigFile, SampleFilesGoodAndBroken)
{
    const std::string long_word(1000, 'x');
    const std::string long_name(600, 'n');
    const FileRow rows[] = {
        {"the documented sample",
         "# engine settings\nHASH 64M\nRESIGN 500\nBOOK \"my.bok\"\nTB_PATH \"/tb/a;/tb/b\"\n",
         with([](Settings& s) { s.hash = 67108864; s.resign = 500; s.book = "my.bok"; s.tb = "/tb/a;/tb/b"; }),
         ""},
        {"blank inside quotes kept", "BOOK \"my book.bok\"\n",
         with([](Settings& s) { s.book = "my book.bok"; }), ""},
        {"all six keys, sizes in K and G",
         "RESIGN 900 HASH 512K LOGFNAME \"q.log\"\nBOOK \"b.bok\"\nEGTB_HASH_SIZE 1g\nTB_PATH \"/t\"",
         with([](Settings& s) { s.resign = 900; s.hash = 524288; s.log = "q.log"; s.book = "b.bok"; s.tb_cache = 1073741824; s.tb = "/t"; }),
         ""},
        {"CRLF line ends", "HASH 16M\r\nBOOK \"x.bok\"\r\nRESIGN 300\r\n",
         with([](Settings& s) { s.hash = 16777216; s.book = "x.bok"; s.resign = 300; }), ""},
        {"negative resign threshold", "RESIGN -300\n", with([](Settings& s) { s.resign = -300; }), ""},
        {"keys are case-sensitive", "hash 64M\n", Settings{}, "Warning: unknown symbol: hash\n"},
        {"unknown key and its value", "COLOUR blue\nRESIGN 400\n", with([](Settings& s) { s.resign = 400; }),
         "Warning: unknown symbol: blue\n"},
        {"value on the next line", "HASH\n64M\n", Settings{}, "Warning: no value for HASH"},
        {"value at the end of the file", "RESIGN", Settings{}, "Warning: no value for RESIGN"},
        {"size with two suffix letters", "HASH 64MB\n", Settings{}, "Warning: bad value for HASH: 64MB"},
        {"size zero", "HASH 0\n", Settings{}, "Warning: bad value for HASH: 0"},
        {"negative size", "EGTB_HASH_SIZE -4M\n", Settings{}, "Warning: bad value for EGTB_HASH_SIZE"},
        {"size beyond 32 bits", "HASH 4G\n", Settings{}, "Warning: bad value for HASH: 4G"},
        {"many digits", "HASH 99999999999999999999M\n", Settings{}, "Warning: bad value for HASH"},
        {"resign not a number", "RESIGN lots\n", Settings{}, "Warning: bad value for RESIGN: lots"},
        {"resign with trailing letters", "RESIGN 500x\n", Settings{}, "Warning: bad value for RESIGN: 500x"},
        {"resign beyond 32 bits", "RESIGN 99999999999\n", Settings{}, "Warning: bad value for RESIGN"},
        {"missing closing quote", "BOOK \"open.bok  \r\nRESIGN 100\n",
         with([](Settings& s) { s.book = "open.bok"; s.resign = 100; }), "Warning: missing closing quote for BOOK"},
        {"unquoted string value", "BOOK plain.bok\n", with([](Settings& s) { s.book = ""; }),
         "Warning: value of BOOK is not quoted: plain.bok"},
        {"string key at the end of its line", "LOGFNAME\nRESIGN 100\n",
         with([](Settings& s) { s.resign = 100; }), ""},
        {"overlong word", long_word + "\nRESIGN 250\n", with([](Settings& s) { s.resign = 250; }),
         "Warning: unknown symbol: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\n"},
        {"overlong string line", "BOOK \"" + long_name + "\"\nRESIGN 250\n",
         with([](Settings& s) { s.book = std::string(253, 'n'); s.resign = 250; }),
         "Warning: line of BOOK longer than 255 characters"},
        {"overlong comment hides its whole line", "# " + long_name + " HASH 8M\nRESIGN 250\n",
         with([](Settings& s) { s.resign = 250; }), ""},
        {"comment after a value", "RESIGN 250 # was 700\n", with([](Settings& s) { s.resign = 250; }), ""},
        {"empty file", "", Settings{}, ""},
    };
    for (const FileRow& row : rows) {
        SCOPED_TRACE(row.what);
        reset_config();
        const std::string out = load_text(row.text);
        const Settings s = current();
        EXPECT_EQ(s.resign, row.expected.resign);
        EXPECT_EQ(s.hash, row.expected.hash);
        EXPECT_EQ(s.log, row.expected.log);
        EXPECT_EQ(s.book, row.expected.book);
        EXPECT_EQ(s.tb_cache, row.expected.tb_cache);
        EXPECT_EQ(s.tb, row.expected.tb);
        EXPECT_EQ(out.rfind("Loading configuration: ", 0), 0u) << out;
        if (!row.warning.empty())
            EXPECT_NE(out.find(row.warning), std::string::npos) << out;
        else
            EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
    }
    reset_config();
}

TEST(ConfigFile, CommandLineStaysStrongerThanTheFile)
{
    reset_config();
    set_config_value("HASH", "16M");
    set_config_value("BOOK", "cmd.bok");
    set_config_value("NOSUCHKEY", "1");   // ignored
    load_text("HASH 64M\nBOOK \"file.bok\" RESIGN 1\nRESIGN 500\nEGTB_HASH_SIZE 2M\n");
    EXPECT_EQ(hash_total_bytes, 16777216);
    EXPECT_EQ(std::string(book_file_name), "cmd.bok");
    EXPECT_EQ(resign_threshold, 500);
    EXPECT_EQ(tb_cache_bytes, 2097152);
    EXPECT_EQ(CONFIG_TABLE[1].fixed, 1);
    EXPECT_EQ(CONFIG_TABLE[0].is_set, 1);
    EXPECT_EQ(CONFIG_TABLE[0].fixed, 0);

    // A bad command-line size warns, keeps the default and leaves the key to the file.
    reset_config();
    testing::internal::CaptureStdout();
    set_config_value("HASH", "64MB");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Warning: bad value for HASH: 64MB"), std::string::npos);
    EXPECT_EQ(hash_total_bytes, 33554432);
    EXPECT_EQ(CONFIG_TABLE[1].fixed, 0);
    load_text("HASH 8M\n");
    EXPECT_EQ(hash_total_bytes, 8388608);
    reset_config();
}

TEST(ConfigFile, MissingFileAndNoFileName)
{
    reset_config();
    testing::internal::CaptureStderr();
    load_config("/nonexistent-dir/quarvel.cfg");
    load_config("");
    load_config(nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("/nonexistent-dir/quarvel.cfg: ", 0), 0u) << err;
    EXPECT_NE(err.find("No config file\n"), std::string::npos) << err;
    EXPECT_EQ(hash_total_bytes, 33554432);
}

TEST(ConfigFile, PrintConfigListsEveryKeyInTableOrder)
{
    reset_config();
    testing::internal::CaptureStdout();
    print_config();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "RESIGN 700\n"
              "HASH 32M\n"
              "LOGFNAME \"\"\n"
              "BOOK \"quarvel.bok\"\n"
              "EGTB_HASH_SIZE 1M\n"
              "TB_PATH \"c:\\chess\\tb\"\n");
    hash_total_bytes = 1536 * 1024;
    tb_cache_bytes = 1000;
    testing::internal::CaptureStdout();
    print_config();
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("HASH 1M\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EGTB_HASH_SIZE 0K\n"), std::string::npos) << out;
    reset_config();
}

TEST(ConfigFile, ParseSize)
{
    const struct {
        const char* text;
        std::int32_t value;
    } rows[] = {
        {"64M", 67108864}, {"64m", 67108864}, {"1k", 1024}, {"16K", 16384},
        {"1G", 1073741824}, {"1g", 1073741824}, {"100", 100}, {"", 0},
        {"64MB", 64}, {"abc", 0}, {"-1K", -1024}, {" 2M", 2097152},
        {"3G", INT32_MAX}, {"99999999999999999999", INT32_MAX}, {"-3G", INT32_MIN},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parse_size(row.text), row.value) << "\"" << row.text << "\"";
    EXPECT_EQ(parse_size(nullptr), 0);
}

}  // namespace
