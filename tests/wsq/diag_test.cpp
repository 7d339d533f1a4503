#include "wsq/diag.h"

#include <gtest/gtest.h>

namespace quorvel::wsq {

TEST(Diag, CaptureCollectsPiecesInOrderAndRestoresTheOuterSink) {
    DiagCapture outer;
    diag("ERROR : %s : ", "getc_huffman_table");
    {
        DiagCapture inner;
        diag("inner %d\n", 7);
        EXPECT_EQ(inner.text(), "inner 7\n");
    }
    diag("no huffman table bytes remaining\n");
    EXPECT_EQ(outer.text(), "ERROR : getc_huffman_table : no huffman table bytes remaining\n");
}

}  // namespace quorvel::wsq
