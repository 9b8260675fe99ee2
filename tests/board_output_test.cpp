// The output channel's routing by protocol mode and output switch, the log
// file, the fatal exit, and the clock and text formats.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "board/board.h"
#include "search/search.h"
#include "search/searchinfo.h"
#include "tests/helpers/engine_state.h"

namespace {

std::string read_file(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

struct ChannelState {
    int mode = protocol_mode, enabled = output_enabled;
    ~ChannelState()
    {
        protocol_mode = mode;
        output_enabled = enabled;
        close_log_file();
    }
};

TEST(BoardOutput, RoutingByModeAndSwitch)
{
    ChannelState saved;
    std::string path = QUARVEL_BUILD_DIR "/tests/board_output_test_";
    path += std::to_string(getpid()) + ".log";
    remove(path.c_str());
    open_log_file(path.c_str());
    ASSERT_NE(log_file, nullptr);

    const struct {
        int enabled, mode;
        const char* plain_stdout;
        const char* any_stdout;
    } rows[] = {
        {1, 0, "a0", "b0"}, {1, 1, "", "b1"}, {1, 2, "", "b2"}, {0, 0, "", ""}, {0, 2, "", ""}};
    std::string expected_log;
    for (const auto& r : rows) {
        output_enabled = r.enabled;
        protocol_mode = r.mode;
        testing::internal::CaptureStdout();
        emit_text("a%d", r.mode);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.plain_stdout)
            << r.enabled << " " << r.mode;
        testing::internal::CaptureStdout();
        emit_text_any_mode("b%d", r.mode);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.any_stdout)
            << r.enabled << " " << r.mode;
        // The log takes plain text only while output is on, any-mode text always.
        const char digit = char('0' + r.mode);
        if (r.enabled)
            expected_log += {'a', digit};
        expected_log += {'b', digit};
    }
    close_log_file();
    EXPECT_EQ(read_file(path), expected_log);
    remove(path.c_str());
}

TEST(BoardOutput, LogFileProblems)
{
    ChannelState saved;
    open_log_file("");
    EXPECT_EQ(log_file, nullptr);
    testing::internal::CaptureStderr();
    open_log_file("/nonexistent-dir-quarvel/x.log");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log_file, nullptr);
    EXPECT_EQ(err.rfind("/nonexistent-dir-quarvel/x.log: ", 0), 0u) << err;
}

TEST(BoardOutputDeathTest, FatalMessageReachesStandardErrorInEveryMode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int mode : {0, 1, 2}) {
        EXPECT_EXIT(
            {
                protocol_mode = mode;
                exit_with_message("material");
            },
            testing::ExitedWithCode(1), "material");
    }
    EXPECT_EXIT(
        {
            output_enabled = 0;
            exit_with_message("malloc: ran out of memory");
        },
        testing::ExitedWithCode(1), "malloc: ran out of memory");
}

TEST(BoardClock, TextFormats)
{
    const struct {
        u32 start, end;
        const char* text;
    } times[] = {{0, 5999, "59.99"},       {0, 6000, "1:00"},  {100, 100, "0.00"},
                 {0, 705, "7.05"},         {0, 12300, "2:03"}, {0, 450000, "75:00"},
                 {4294967290u, 10, "0.16"}};
    for (const auto& t : times)
        EXPECT_STREQ(format_time(t.start, t.end), t.text);
    char buffer[32];
    const std::pair<int64_t, const char*> sizes[] = {{1023, "1023"},     {1024, "1K"},
                                                     {1048575, "1023K"}, {33554432, "32M"},
                                                     {3145729, "3M"},    {0, "0"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_STREQ(format_size(buffer, bytes), text);
    const std::pair<int, const char*> scores[] = {
        {30000, "300.00"}, {30001, "#1383"}, {-30001, "-#1383"}, {32766, "#01"}, {32764, "#02"},
        {-32766, "-#01"},  {35, "0.35"},     {-120, "-1.20"},    {0, "0.00"}};
    for (const auto& [score, text] : scores)
        EXPECT_STREQ(format_score(buffer, score), text);
    EXPECT_EQ(compute_percent(5, 0), 0.0);
    EXPECT_DOUBLE_EQ(compute_percent(1, 4), 25.0);
    EXPECT_DOUBLE_EQ(compute_percent(3000000000u, 4000000000u), 75.0);
}

TEST(BoardClock, ClocksAndSpeed)
{
    OwnedPosition pos = create_position();
    const u32 a = get_time_cs();
    const u32 b = get_time_cs();
    EXPECT_GE(b, a);
    EXPECT_LT(a, 100u * 3600); // counts from process start
    EXPECT_GE(get_cpu_time_cs(), 0);
    pos->search_start = int(get_time_cs() + 1000);
    node_count = 123456;
    EXPECT_EQ(get_nodes_per_second(pos), 0); // no time elapsed: never a division by zero
    const u32 start = get_time_cs();
    pos->search_start = int(start);
    while (get_time_cs() < start + 2) {
    }
    const int nps = get_nodes_per_second(pos);
    EXPECT_GT(nps, 0);
    EXPECT_LE(nps, 123456 * 50);
    EXPECT_GE(get_elapsed_cs(pos), 2u);
    node_count = 0;
}

} // namespace
