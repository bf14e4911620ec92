#include "files/TFormFile.h"

#include "app/TFormMain.h"

TFormFile::TFormFile(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormFile"), QStringLiteral("Parameters file  *.qmc")) {
    resize(460, 320);
}
