// A hook for tests only: with QUORVEL_QT_TEST_CLOSE=1 in the environment the module closes
// each window it shows, as the title bar's close button would, once the window is on the
// screen and painted; QUORVEL_QT_TEST_SCREENSHOT=FILE saves a picture of it just before.
#pragma once

namespace quorvel::ui::qt {

// Does nothing unless QUORVEL_QT_TEST_CLOSE is 1.
void arm_test_close();

}  // namespace quorvel::ui::qt
