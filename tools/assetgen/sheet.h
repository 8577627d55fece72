// The sprite sheet, drawn by sheet.cpp and written out with the other pictures.
#pragma once

#include "assetgen.h"

namespace assetgen {
Image24 makeSheet();
}  // namespace assetgen
