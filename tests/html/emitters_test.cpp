// Exact output of the emitters whose forms vary with their arguments.
#include <gtest/gtest.h>

#include "html/emitters.h"
#include "tests/html/stdout_capture.h"

TEST(Emitters, TableStartForms) {
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("CENTER", 1, 2, 3, "100%"); }),
              "<TABLE ALIGN=CENTER BORDER=1 CELLSPACING=2 CELLPADDING=3 WIDTH=100%>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart("LEFT", 0, -1, 4, nullptr); }),
              "<TABLE ALIGN=LEFT BORDER=0 CELLSPACING=-1 CELLPADDING=4>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 0, 0, 0, "500"); }),
              "<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0 WIDTH=500>\n");
    EXPECT_EQ(CaptureStdout([] { PrintTableStart(nullptr, 2, 5, 6, nullptr); }),
              "<TABLE BORDER=2 CELLSPACING=5 CELLPADDING=6>\n");
}
