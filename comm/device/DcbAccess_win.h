#pragma once
// Copies between DcbFields and the Windows DCB's bit-fields (Windows only).

#include "comm/device/DcbTranslation.h"

#include <windows.h>

namespace apd {

// Writes the fields into dcb; DCBlength and the fields DcbFields does not carry stay.
void CopyToDcb(const DcbFields& fields, DCB& dcb);
DcbFields FieldsOf(const DCB& dcb);

} // namespace apd
