// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Parameter files: any bytes through IniFile, the reader and the offline
// apply step (which hands the values to the answer decoder).
#include "device/QLMCSession.h"
#include "files/ParameterApply.h"
#include "files/ParameterFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ParameterFileContent content =
        ParameterFile::readBytes(QByteArrayView(reinterpret_cast<const char *>(data),
                                                qsizetype(size)));
    if (content.ok() && content.viewBytes > ParameterFile::ViewCapacity)
        __builtin_trap();
    static QLMCSession session;
    ParameterApply::apply(session, content, false);
    ParameterApply::apply(session, content, true);
    ParameterCompare::compare(session, content);
    return 0;
}
