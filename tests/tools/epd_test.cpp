// The EPD line reader: position fields, counters, the operations kept and
// skipped, blanks removed from operands, and where reading stops.
#include <gtest/gtest.h>

#include "tools/epd.h"

namespace zelk {
namespace {

struct ReaderCase {
    const char* line;
    EpdLine expected;
};

TEST(EpdReader, FieldsAndOperations) {
    const char* const KIWI = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
    const ReaderCase CASES[] = {
        // A suite line: blanks inside quoted operands go too.
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - bm Qxf6; c0 \"Qxf6=10, e6=5\"; id "
         "\"kiwi 1\";\n",
         {KIWI, "Qxf6", "", "", "", "", "\"kiwi1\"", "\"Qxf6=10,e6=5\""}},
        // Move counters, repeated blanks, tabs and a CR-LF line end.
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R   w\tKQkq  -  0 12  ce -35; gr 0.5;\r\n",
         {KIWI, "", "", "-35", "", "0.5", "", ""}},
        // Blank-separated moves run together; commas keep them apart.
        {"8/8/8/8/8/8/8/K6k w - - bm Ka2 Kb1; am Ka2, Kb2;", {"8/8/8/8/8/8/8/K6k w - -", "Ka2Kb1", "Ka2,Kb2", "", "", "", "", ""}},
        // Unknown opcodes are skipped; the last operation needs no ";".
        {"8/8/8/8/8/8/8/K6k b - - hmvc 3; c1 \"x y\"; sc 17", {"8/8/8/8/8/8/8/K6k b - -", "", "", "", "17", "", "", ""}},
        // An empty operation ends the reading.
        {"8/8/8/8/8/8/8/K6k w - - bm Ka2; ; am Kb1;", {"8/8/8/8/8/8/8/K6k w - -", "Ka2", "", "", "", "", "", ""}},
        {"8/8/8/8/8/8/8/K6k w - - ;bm Ka2;", {"8/8/8/8/8/8/8/K6k w - -", "", "", "", "", "", "", ""}},
        // Fewer than four fields: what there is.
        {"8/8/8/8/8/8/8/K6k w\n", {"8/8/8/8/8/8/8/K6k w", "", "", "", "", "", "", ""}},
        {"", {"", "", "", "", "", "", "", ""}},
    };
    for (const ReaderCase& c : CASES) {
        EpdLine got;
        got.bm = "left over";
        ASSERT_EQ(parse_epd_line(c.line, got), 0) << c.line;
        const EpdLine& want = c.expected;
        EXPECT_EQ(got.position, want.position) << c.line;
        EXPECT_EQ(got.bm, want.bm) << c.line;
        EXPECT_EQ(got.am, want.am) << c.line;
        EXPECT_EQ(got.ce, want.ce) << c.line;
        EXPECT_EQ(got.sc, want.sc) << c.line;
        EXPECT_EQ(got.gr, want.gr) << c.line;
        EXPECT_EQ(got.id, want.id) << c.line;
        EXPECT_EQ(got.c0, want.c0) << c.line;
    }
}

TEST(EpdReader, OnlyAMissingLineFails) {
    EpdLine got;
    EXPECT_EQ(parse_epd_line(nullptr, got), -1);
    EXPECT_EQ(parse_epd_line("no position here at all", got), 0);
    EXPECT_EQ(got.position, "no position here at");
}

} // namespace
} // namespace zelk
