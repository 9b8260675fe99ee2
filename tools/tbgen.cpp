// Writes the three-man endgame tables kqk, krk and kpk, computed by
// retrograde analysis, into a directory: raw files (.nbw/.nbb), compressed
// files (.nbw.emd/.nbb.emd) or both. Usage: tbgen DIRECTORY [raw|emd|both]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/tb_encoder.h"
#include "tools/tb_generator.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tbgen DIRECTORY [raw|emd|both]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string form = argc > 2 ? argv[2] : "raw";
    const bool raw = form == "raw" || form == "both";
    const bool emd = form == "emd" || form == "both";
    if (!raw && !emd) {
        std::fprintf(stderr, "tbgen: unknown form %s\n", form.c_str());
        return 2;
    }
    tbgen::Table queen = tbgen::solve(QUEEN, nullptr, nullptr);
    tbgen::Table rook = tbgen::solve(ROOK, nullptr, nullptr);
    tbgen::Table pawn = tbgen::solve(PAWN, &queen, &rook);
    for (tbgen::Table* table : {&queen, &rook, &pawn}) {
        for (int side = 0; side < 2; ++side) {
            const std::vector<uint8_t> bytes = tbgen::table_bytes(*table, side);
            const std::string base =
                dir + "/" + MATERIAL_ROWS[table->id].name + (side ? ".nbb" : ".nbw");
            if ((raw && !tbgen::write_file(base, bytes)) ||
                (emd && !tbgen::write_file(base + ".emd", tbenc::encode(bytes)))) {
                std::fprintf(stderr, "tbgen: cannot write %s\n", base.c_str());
                return 1;
            }
        }
        if (table->conflicts) {
            std::fprintf(stderr, "tbgen: %s: %d positions disagree with their index\n",
                         MATERIAL_ROWS[table->id].name, table->conflicts);
            return 1;
        }
        std::printf("%s written\n", MATERIAL_ROWS[table->id].name);
    }
    return 0;
}
