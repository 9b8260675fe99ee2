// The one fixture of every test program: a listener that restores the
// engine's process-wide settings and flags before each test starts, so that
// no test sees what an earlier one left behind. Tables, caches and open
// files are not settings: they keep what the tests allocated.
#include "tests/helpers/engine_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "book/book.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/testsuite.h"
#include "frontend/uci.h"
#include "search/evaluate.h"
#include "search/levels.h"
#include "search/search.h"
#include "search/searchstate.h"
#include "search/settings.h"
#include "search/timecontrol.h"
#include "search/transposition.h"
#include "tablebases/tbprobe.h"

namespace {

struct Setting {
    void* address;
    size_t size;
};

#define SETTING(variable)                                                                          \
    Setting                                                                                        \
    {                                                                                              \
        &(variable), sizeof(variable)                                                              \
    }

// A global the tests assign belongs here.
const Setting SETTINGS[] = {
    // board/
    SETTING(protocol_mode),
    SETTING(output_enabled),
    SETTING(show_diagram),
    SETTING(piece_value),
    // search/
    SETTING(idle_flag),
    SETTING(ponder_search),
    SETTING(analyze_mode),
    SETTING(post_enabled),
    SETTING(expected_reply),
    SETTING(previous_score),
    SETTING(show_move_numbers),
    SETTING(multipv_lines),
    SETTING(test_mode),
    SETTING(iteration_depth),
    SETTING(max_depth),
    SETTING(extend_time),
    SETTING(stop_search),
    SETTING(search_side),
    SETTING(node_count),
    SETTING(node_countdown),
    SETTING(sel_depth),
    SETTING(level_weight),
    SETTING(root_noise),
    SETTING(qsearch_depth_limit),
    SETTING(lazy_margin),
    SETTING(own_clock),
    SETTING(increment),
    SETTING(moves_to_go),
    SETTING(moves_per_control),
    SETTING(fixed_move_time),
    SETTING(node_limit),
    SETTING(mate_limit),
    SETTING(time_target),
    SETTING(time_maximum),
    SETTING(next_info_time),
    SETTING(hash_age),
    SETTING(show_hash_usage),
    // frontend/
    SETTING(protocol_version),
    SETTING(pending_line),
    SETTING(search_requested),
    SETTING(force_mode),
    SETTING(ponder_enabled),
    SETTING(draw_offered),
    SETTING(reply_predicted),
    SETTING(ponder_score),
    SETTING(ponder_time),
    SETTING(ponder_reply),
    SETTING(opponent_clock),
    SETTING(fritz_mode),
    SETTING(resign_threshold),
    SETTING(hash_total_bytes),
    SETTING(log_file_name),
    SETTING(book_file_name),
    SETTING(tb_cache_bytes),
    SETTING(tb_path),
    SETTING(CONFIG_TABLE),
    SETTING(test_avoid_mode),
    SETTING(test_extra_plies),
    SETTING(test_first_solve_time),
    SETTING(test_solution_count),
    SETTING(test_solutions),
    SETTING(test_solved),
    SETTING(test_streak),
    SETTING(uci_start_moves),
    // book/ and tablebases/
    SETTING(book_enabled),
    SETTING(book_read_only),
    SETTING(book_run_count),
    SETTING(tb_enabled),
};

// Taken before main, when every setting still holds its initial value.
std::vector<std::vector<char>> start_values()
{
    std::vector<std::vector<char>> values;
    for (const Setting& s : SETTINGS) {
        const char* bytes = static_cast<const char*>(s.address);
        values.emplace_back(bytes, bytes + s.size);
    }
    return values;
}

const std::vector<std::vector<char>>& saved_values()
{
    static const std::vector<std::vector<char>> values = start_values();
    return values;
}

struct EngineStateFixture : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { restore_engine_state(); }
};

[[maybe_unused]] const bool installed = [] {
    saved_values();
    testing::UnitTest::GetInstance()->listeners().Append(new EngineStateFixture);
    return true;
}();

} // namespace

void restore_engine_state()
{
    const std::vector<std::vector<char>>& values = saved_values();
    for (size_t i = 0; i < values.size(); i++)
        std::memcpy(SETTINGS[i].address, values[i].data(), values[i].size());
}
