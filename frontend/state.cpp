// Definitions of the front end's process-wide state and the path helper.
#include "board/output.h"
#include "frontend/frontend.h"

#include <cstdlib>

int protocol_version = 0;

char* pending_line = nullptr;
int search_requested = 0;
int force_mode = 0;
int ponder_enabled = 1;
int draw_offered = 0;
int reply_predicted = 0;
int ponder_score = 0;
int ponder_time = 0;
int ponder_reply = 0;
int opponent_clock = 0;
int fritz_mode = 0;
void* tb_cache_buffer = nullptr;

std::string temp_path(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0')
        dir = "/tmp";
    std::string path = dir;
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}
