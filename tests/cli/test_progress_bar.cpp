// The bar's line laid out for a terminal of a given width.

#include <gtest/gtest.h>

#include "cli/ProgressBar.h"

namespace {

using cli::BarLine;
using cli::TextColumns;

std::string Bar(std::size_t filled, std::size_t cells, const char* percent)
{
    return "[" + std::string(filled, '#') + std::string(cells - filled, ' ') + "] " + percent;
}

TEST(ProgressBar, FitsTheTerminal)
{
    const struct {
        const char* name;
        std::string label;
        std::size_t labelColumns;
        int columns;
        std::string line;  // "" for no room
    } cases[] = {
        {"unknown width: as ever", "", 0, 0, Bar(20, 40, " 50%")},
        {"unknown width, labelled", "1-1", 5, 0, "1-1   " + Bar(20, 40, " 50%")},
        {"wide", "", 0, 200, Bar(20, 40, " 50%")},
        {"wide, labelled", "/dev/fake-controller", 24, 200, "/dev/fake-controller     " + Bar(20, 40, " 50%")},
        {"80, labelled", "1-1", 3, 80, "1-1 " + Bar(20, 40, " 50%")},
        // 48 columns fit a whole bar alone; 47 do not.
        {"48", "", 0, 48, Bar(20, 40, " 50%")},
        {"47", "", 0, 47, Bar(19, 39, " 50%")},
        {"40", "", 0, 40, Bar(16, 32, " 50%")},
        // The label column goes first, down to six, then the bar.
        {"40, a long label", "/dev/fake-controller", 20, 40, "/dev/… " + Bar(12, 25, " 50%")},
        {"56, a long label", "/dev/fake-controller", 20, 56, "/dev/f… " + Bar(20, 40, " 50%")},
        {"40, short labels stay", "1-1", 3, 40, "1-1 " + Bar(14, 28, " 50%")},
        {"20", "", 0, 20, Bar(6, 12, " 50%")},
        {"narrowest", "", 0, 18, Bar(5, 10, " 50%")},
        {"below narrowest", "", 0, 17, ""},
        {"narrowest, labelled", "1-1", 3, 22, "1-1 " + Bar(5, 10, " 50%")},
        {"below narrowest, labelled", "1-1", 3, 21, ""},
        {"narrowest, a long label", "/dev/fake-controller", 20, 25, "/dev/… " + Bar(5, 10, " 50%")},
        {"one column", "", 0, 1, ""},
        // Characters, not bytes: padded and cut whole.
        {"UTF-8, padded", "ñú", 4, 200, "ñú   " + Bar(20, 40, " 50%")},
        {"UTF-8, cut", "Mandó de Ñandú", 14, 40, "Mandó… " + Bar(12, 25, " 50%")},
        {"UTF-8 label longer than its column", "ñandú ñandú", 3, 200, "ñandú ñandú " + Bar(20, 40, " 50%")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string line = BarLine(c.label, c.labelColumns, 5000, c.columns);
        EXPECT_EQ(line, c.line);
        if (c.columns > 0) {
            EXPECT_LT(TextColumns(line), static_cast<std::size_t>(c.columns));
        }
    }
}

TEST(ProgressBar, ShowsTheValue)
{
    EXPECT_EQ(cli::ProgressBar(0), Bar(0, 40, "  0%"));
    EXPECT_EQ(cli::ProgressBar(10000), Bar(40, 40, "100%"));
    EXPECT_EQ(BarLine("", 0, 10000, 20), Bar(12, 12, "100%"));
    EXPECT_EQ(BarLine("", 0, 0, 20), Bar(0, 12, "  0%"));
    EXPECT_EQ(BarLine("", 0, 9999, 20), Bar(11, 12, " 99%"));
}

}  // namespace
