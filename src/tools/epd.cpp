#include "tools/epd.h"

namespace zelk {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == 0 || c == '\n' || c == '\r'; }

} // namespace

int parse_epd_line(const char* line, EpdLine& out) {
    out = EpdLine{};
    if (!line)
        return -1;
    const char* p = line;
    for (int field = 0; field < 4; ++field) {
        while (is_blank(*p))
            ++p;
        if (is_line_end(*p))
            break;
        if (field > 0)
            out.position += ' ';
        while (!is_blank(*p) && !is_line_end(*p))
            out.position += *p++;
    }
    // The halfmove and move counters, when present.
    while (is_blank(*p) || (*p >= '0' && *p <= '9'))
        ++p;

    while (true) {
        while (is_blank(*p))
            ++p;
        std::string opcode;
        while (!is_blank(*p) && *p != ';' && !is_line_end(*p))
            opcode += *p++;
        if (opcode.empty())
            break;
        std::string operand;
        for (; *p != ';' && !is_line_end(*p); ++p)
            if (!is_blank(*p))
                operand += *p;
        if (opcode == "bm")
            out.bm = operand;
        else if (opcode == "am")
            out.am = operand;
        else if (opcode == "ce")
            out.ce = operand;
        else if (opcode == "sc")
            out.sc = operand;
        else if (opcode == "gr")
            out.gr = operand;
        else if (opcode == "id")
            out.id = operand;
        else if (opcode == "c0")
            out.c0 = operand;
        if (*p != ';')
            break;
        ++p;
    }
    return 0;
}

} // namespace zelk
