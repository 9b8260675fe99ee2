// The configuration file: sample files good and broken, the command line
// staying stronger than the file, print_config and parse_size.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <string>

#include "board/output.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "helpers/engine_process.h"

namespace {

struct Settings {
    int resign = 700;
    int hash = 33554432;
    std::string log = "";
    std::string book = "quarvel.bok";
    int tb_cache = 1048576;
    std::string tb = "c:\\chess\\tb";
    bool operator==(const Settings&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Settings& s)
{
    return out << "resign " << s.resign << " hash " << s.hash << " log \"" << s.log << "\" book \""
               << s.book << "\" tb_cache " << s.tb_cache << " tb \"" << s.tb << "\"";
}

void reset_config()
{
    static char empty[] = "", book[] = "quarvel.bok", tb[] = "c:\\chess\\tb";
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
    return Settings{resign_threshold, hash_total_bytes, log_file_name,
                    book_file_name,   tb_cache_bytes,   tb_path};
}

// Loads the text as a configuration file; returns what went to standard output.
std::string load_text(const std::string& text)
{
    const std::string path = "/tmp/quarvel_cfg_" + std::to_string(getpid()) + ".cfg";
    std::ofstream(path, std::ios::binary) << text;
    protocol_mode = PROTOCOL_CONSOLE;
    testing::internal::CaptureStdout();
    load_config(path.c_str());
    std::remove(path.c_str());
    return testing::internal::GetCapturedStdout();
}

TEST(ConfigFile, SampleFilesGoodAndBroken)
{
    const std::string long_name(600, 'n');
    const struct {
        const char* what;
        std::string text;
        Settings expected;
        std::string warning; // expected in the output, or "" for no warning at all
    } rows[] = {
        {"every kind of value",
         "# engine settings\nHASH 64M\nRESIGN 500\nBOOK \"my.bok\"\nTB_PATH \"/tb/a;/tb/b\"\n",
         {.resign = 500, .hash = 67108864, .book = "my.bok", .tb = "/tb/a;/tb/b"},
         ""},
        {"blank inside quotes kept", "BOOK \"my book.bok\"\n", {.book = "my book.bok"}, ""},
        {"all six keys, sizes in K and G",
         "RESIGN 900 HASH 512K LOGFNAME \"q.log\"\nBOOK \"b.bok\"\nEGTB_HASH_SIZE 1g\nTB_PATH "
         "\"/t\"",
         {900, 524288, "q.log", "b.bok", 1073741824, "/t"},
         ""},
        {"CRLF line ends",
         "HASH 16M\r\nBOOK \"x.bok\"\r\nRESIGN 300\r\n",
         {.resign = 300, .hash = 16777216, .book = "x.bok"},
         ""},
        {"negative resign threshold", "RESIGN -300\n", {.resign = -300}, ""},
        {"keys are case-sensitive", "hash 64M\n", {}, "Warning: unknown symbol: hash\n"},
        {"unknown key and its value",
         "COLOUR blue\nRESIGN 400\n",
         {.resign = 400},
         "Warning: unknown symbol: blue\n"},
        {"size on a later line", "HASH\n\n   4M\n", {.hash = 4194304}, ""},
        {"number on the next line", "RESIGN\r\n-250\n", {.resign = -250}, ""},
        {"a key is no value",
         "HASH\nRESIGN 500\n",
         {.resign = 500},
         "Warning: no value for HASH\n"},
        {"a comment is no value",
         "EGTB_HASH_SIZE # later\nRESIGN 500\n",
         {.resign = 500},
         "Warning: no value for EGTB_HASH_SIZE\n"},
        {"value at the end of the file", "RESIGN", {}, "Warning: no value for RESIGN"},
        {"size with two suffix letters", "HASH 64MB\n", {}, "Warning: bad value for HASH: 64MB"},
        {"size zero", "HASH 0\n", {}, "Warning: bad value for HASH: 0"},
        {"negative size", "EGTB_HASH_SIZE -4M\n", {}, "Warning: bad value for EGTB_HASH_SIZE"},
        // A well-formed hash size above the largest budget is cut to it;
        // other sizes beyond 32 bits stay refused.
        {"hash beyond 32 bits",
         "HASH 4G\n",
         {.hash = 2146435072},
         "Hash size 4G too large, using 2047M"},
        {"hash in many digits",
         "HASH 99999999999999999999M\n",
         {.hash = 2146435072},
         "Hash size 99999999999999999999M too large, using 2047M"},
        {"hash above the largest budget", "HASH 2147483000\n", {.hash = 2146435072}, "too large"},
        {"largest hash", "HASH 2047M\n", {.hash = 2146435072}, ""},
        {"cache beyond 32 bits",
         "EGTB_HASH_SIZE 4G\n",
         {},
         "Warning: bad value for EGTB_HASH_SIZE: 4G"},
        {"digit after the suffix", "HASH 3M1\n", {}, "Warning: bad value for HASH: 3M1"},
        {"resign not a number", "RESIGN lots\n", {}, "Warning: bad value for RESIGN: lots"},
        {"resign with trailing letters",
         "RESIGN 500x\n",
         {},
         "Warning: bad value for RESIGN: 500x"},
        {"resign beyond 32 bits", "RESIGN 99999999999\n", {}, "Warning: bad value for RESIGN"},
        {"missing closing quote",
         "BOOK \"open.bok  \r\nRESIGN 100\n",
         {.resign = 100, .book = "open.bok"},
         "Warning: missing closing quote for BOOK"},
        {"unquoted string value",
         "BOOK plain.bok\n",
         {.book = ""},
         "Warning: value of BOOK is not quoted: plain.bok"},
        {"string key at the end of its line", "LOGFNAME\nRESIGN 100\n", {.resign = 100}, ""},
        {"overlong word",
         std::string(1000, 'x') + "\nRESIGN 250\n",
         {.resign = 250},
         "Warning: unknown symbol: " + std::string(63, 'x') + "\n"},
        {"overlong string line",
         "BOOK \"" + long_name + "\"\nRESIGN 250\n",
         {.resign = 250, .book = std::string(253, 'n')},
         "Warning: line of BOOK longer than 255 characters"},
        {"overlong comment hides its whole line",
         "# " + long_name + " HASH 8M\nRESIGN 250\n",
         {.resign = 250},
         ""},
        {"comment after a value", "RESIGN 250 # was 700\n", {.resign = 250}, ""},
        {"empty file", "", {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        reset_config();
        const std::string out = load_text(row.text);
        EXPECT_EQ(current(), row.expected);
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
    set_config_value("NOSUCHKEY", "1"); // ignored
    load_text("HASH 64M\nBOOK \"file.bok\" RESIGN 1\nRESIGN 500\nEGTB_HASH_SIZE 2M\n");
    EXPECT_EQ(current(),
              (Settings{.resign = 500, .hash = 16777216, .book = "cmd.bok", .tb_cache = 2097152}));
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

    // Too large on the command line: cut, with the message, and fixed.
    reset_config();
    testing::internal::CaptureStdout();
    set_config_value("HASH", "99999M");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Hash size 99999M too large, using 2047M\n");
    EXPECT_EQ(hash_total_bytes, 2146435072);
    EXPECT_EQ(CONFIG_TABLE[1].fixed, 1);
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
    EXPECT_EQ(current(), Settings{});
}

// Started from an empty folder, the engine says nothing about the optional
// default files (GUIs read "No such file or directory" in the start-up text
// as a failed start); a file the user named is still reported.
TEST(ConfigFile, AbsentDefaultFilesAreNotReportedNamedOnesAre)
{
    const struct {
        std::vector<std::string> args;
        const char* report; // nullptr: no "No such file or directory" at all
    } cases[] = {
        {{}, nullptr},
        {{"-c", "named.cfg"}, "named.cfg: No such file or directory"},
        {{"-B", "named.bok"}, "Cannot open opening book: named.bok: No such file or directory"},
        {{"-c", "/dev/null"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no options" : c.args[1]);
        char name[] = "/tmp/quarvel_bareXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        EngineProcess proc;
        ASSERT_TRUE(process_start(&proc, quarvel_path(), c.args, name));
        process_send(&proc, "quit");
        process_read_to_end(&proc, scaled_timeout(30000));
        EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(10000)), 0);
        const std::string all = process_transcript(&proc) + proc.err_text;
        if (c.report == nullptr)
            EXPECT_EQ(all.find("No such file or directory"), std::string::npos) << all;
        else
            EXPECT_NE(all.find(c.report), std::string::npos) << all;
        rmdir(name);
    }
    // A book named in the configuration file counts as named too.
    char name[] = "/tmp/quarvel_bareXXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    std::ofstream(std::string(name) + "/quarvel.cfg") << "BOOK \"inner.bok\"\n";
    EngineProcess proc;
    ASSERT_TRUE(process_start(&proc, quarvel_path(), {}, name));
    EXPECT_TRUE(process_expect_substring(
        &proc, "Cannot open opening book: inner.bok: No such file or directory",
        scaled_timeout(30000)));
    process_send(&proc, "quit");
    EXPECT_EQ(process_wait_exit(&proc, scaled_timeout(10000)), 0);
    std::remove((std::string(name) + "/quarvel.cfg").c_str());
    rmdir(name);
}

TEST(ConfigFile, PrintConfigListsEveryKeyInTableOrder)
{
    reset_config();
    testing::internal::CaptureStdout();
    print_config();
    hash_total_bytes = 1536 * 1024;
    tb_cache_bytes = 1000;
    print_config();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "RESIGN 700\nHASH 32M\nLOGFNAME \"\"\nBOOK \"quarvel.bok\"\nEGTB_HASH_SIZE "
              "1M\nTB_PATH \"c:\\chess\\tb\"\n"
              "RESIGN 700\nHASH 1M\nLOGFNAME \"\"\nBOOK \"quarvel.bok\"\nEGTB_HASH_SIZE "
              "0K\nTB_PATH \"c:\\chess\\tb\"\n");
    reset_config();
}

TEST(ConfigFile, ParseSize)
{
    const struct {
        const char* text;
        std::int32_t value;
    } rows[] = {
        {"64M", 67108864},  {"64m", 67108864},
        {"16K", 16384},     {"1k", 1024},
        {"1G", 1073741824}, {"1g", 1073741824},
        {"100", 100},       {"", 0},
        {"64MB", 64},       {"abc", 0},
        {"-1K", -1024},     {" 2M", 2097152},
        {"3G", INT32_MAX},  {"99999999999999999999", INT32_MAX},
        {"-3G", INT32_MIN},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parse_size(row.text), row.value) << "\"" << row.text << "\"";
    EXPECT_EQ(parse_size(nullptr), 0);
}

} // namespace
