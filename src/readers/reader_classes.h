// The extended reader classes as the format table lists them, one accessor per class; each
// class is declared in its own .cpp, and a reader is made through its class entry.
#pragma once

#include "toolkit/graphic.h"

namespace quorvel::readers {

const toolkit::GraphicClass& targa_graphic_class();     // TTargaGraphic
const toolkit::GraphicClass& tiff_graphic_class();      // TTIFFGraphic
const toolkit::GraphicClass& eps_graphic_class();       // TEPSGraphic
const toolkit::GraphicClass& pcx_graphic_class();       // TPCXGraphic
const toolkit::GraphicClass& rla_graphic_class();       // TRLAGraphic
const toolkit::GraphicClass& sgi_graphic_class();       // TSGIGraphic
const toolkit::GraphicClass& psd_graphic_class();       // TPSDGraphic
const toolkit::GraphicClass& ppm_graphic_class();       // TPPMGraphic
const toolkit::GraphicClass& autodesk_graphic_class();  // TAutodeskGraphic
const toolkit::GraphicClass& pcd_graphic_class();       // TPCDGraphic
const toolkit::GraphicClass& cut_graphic_class();       // TCUTGraphic
const toolkit::GraphicClass& psp_graphic_class();       // TPSPGraphic
const toolkit::GraphicClass& png_graphic_class();       // TPNGGraphic

}  // namespace quorvel::readers
