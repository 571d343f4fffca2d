// Content types by file extension, from the system's list.
#pragma once

#include <QString>

namespace taluvo::shell {

// The content type of a file extension (without the period) from the system's MIME types list
// (/etc/mime.types); null when it names none. Letter case of the extension does not matter.
QString ContentTypeForExtension(const QString& extension);

} // namespace taluvo::shell
