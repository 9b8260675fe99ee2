// The table index functions over arbitrary piece squares: every answer is
// either "not indexable" or an offset inside the row's index space.
#include "fuzz/fuzz_support.h"
#include "tablebases/tbindex.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    init_index_tables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 + 32)
        return 0;
    const int function = data[0] % TB_INDEX_FUNCTION_COUNT;
    const int flip = data[1] & 1;
    const int ep_square = data[2] < 192 ? data[2] : TB_NO_EP_SQUARE;
    int first[16], second[16];
    for (int i = 0; i < 16; i++) {
        first[i] = data[3 + i];
        second[i] = data[19 + i];
    }
    const uint32_t offset = TB_INDEX_FUNCTIONS[function](first, second, ep_square, flip);
    if (offset != TB_NOT_INDEXABLE && offset >= tb_index_space(function / 2 + 1, function % 2)) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "function %d offset %u", function, offset);
        fuzz_fail("index beyond the row's space", detail);
    }
    return 0;
}
