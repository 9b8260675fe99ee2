// Arbitrary configuration files through load_config; the values it keeps
// must stay in their ranges and within the reader's limits.
#include <cstring>

#include "frontend/config.h"
#include "fuzz/fuzz_support.h"

namespace {

void* defaults[CONFIG_COUNT];
int32_t default_numbers[CONFIG_COUNT];

void check_and_restore()
{
    for (int i = 0; i < CONFIG_COUNT; i++) {
        ConfigItem& item = CONFIG_TABLE[i];
        if (item.kind == CONFIG_STRING) {
            char** value = static_cast<char**>(item.value);
            if (std::strlen(*value) > size_t(CONFIG_LINE_LIMIT))
                fuzz_fail("string value beyond the line limit", item.name);
            *value = static_cast<char*>(defaults[i]);
        } else {
            int32_t* value = static_cast<int32_t*>(item.value);
            if (item.kind == CONFIG_SIZE && *value < 0)
                fuzz_fail("negative size", item.name);
            *value = default_numbers[i];
        }
        item.is_set = 0;
    }
    // Values a file replaced within itself are freed too, so a long campaign
    // does not grow until it runs out of memory.
    release_config_values();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    for (int i = 0; i < CONFIG_COUNT; i++) {
        if (CONFIG_TABLE[i].kind == CONFIG_STRING)
            defaults[i] = *static_cast<char**>(CONFIG_TABLE[i].value);
        else
            default_numbers[i] = *static_cast<int32_t*>(CONFIG_TABLE[i].value);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz_write_file("config", data, size);
    load_config(path.c_str());
    check_and_restore();
    return 0;
}
