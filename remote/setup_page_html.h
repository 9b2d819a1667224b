// The setup page's HTML, style and script, with {{name}} where a value goes.
// Dark, large and without pure white, to be read on a phone at the telescope
// without spoiling the eyes' adaptation to the dark.
#pragma once

#include <QString>

namespace morvane::remote {

QString setupPageTemplate();

}  // namespace morvane::remote
