// The parameter file: one weight record per line, in table order, as
//   fset("name", mg, eg)      or      name, mg, eg
// Setting is sequential (weight_set_next), so a file that stops early
// changes only a prefix of the table.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/evaluate.h"
#include "eval/weights.h"

namespace zelk {

namespace {

constexpr int LINE_SIZE = 254;     // 253 characters and the terminator
constexpr int NAME_SIZE = 32;      // longest name accepted: 31 characters
constexpr const char* SEPARATORS = "(),\"\n";

} // namespace

void load_params_file() {
    FILE* f = std::fopen(eval_settings.param_file[0] ? eval_settings.param_file : "params.txt", "r");
    if (!f)
        return;
    char line[LINE_SIZE];
    while (std::fgets(line, sizeof line, f)) {
        char* rest = nullptr;
        const char* token[4] = {};
        int n = 0;
        for (char* t = strtok_r(line, SEPARATORS, &rest); t && n < 4; t = strtok_r(nullptr, SEPARATORS, &rest))
            token[n++] = t;
        int first = (n > 0 && std::strstr(token[0], "fset")) ? 1 : 0;
        const char* name = n > first ? token[first] : "";
        const int cursor = eval_params.cursor;
        const char* expected = cursor < EVAL_PARAMS_CAPACITY ? eval_params.records[cursor].name : "";
        // Short lines, overlong names and a cursor past the table are
        // reported like a misplaced name and skipped.
        if (n < first + 3 || std::strlen(name) >= NAME_SIZE ||
            (cursor >= EVAL_PARAMS_CAPACITY && std::strcmp(name, "mtl_pawn") != 0)) {
            std::printf("error %.*s  %s\n", NAME_SIZE - 1, name, expected);
            continue;
        }
        weight_set_next(name, int(std::strtol(token[first + 1], nullptr, 10)),
                        int(std::strtol(token[first + 2], nullptr, 10)));
    }
    std::fclose(f);
}

} // namespace zelk
