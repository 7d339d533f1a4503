// The one WSQ dialog and the one TIFF dialog of the library. The exported setters, the save
// entry point and the converter window all work on these same instances.
#pragma once

#include "ui/tiff_dialog.h"
#include "ui/wsq_dialog.h"

namespace quorvel::ui {

TWSQDialog& wsq_dialog();
TTiffDialog& tiff_dialog();

}  // namespace quorvel::ui
