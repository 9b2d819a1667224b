// Looks a star up by name in star.dat: the working directory's catalogue
// first, then the one installed with the program.
#pragma once

#include <QString>

namespace morvane::operations {

struct StarLookup {
    enum class Status { Found, NotFound, Unreadable } status = Status::NotFound;
    // The six coordinate texts, as the catalogue's columns hold them.
    QString hours, minutes, seconds, sign, degrees, arcminutes;
    QString message;  // for NotFound and Unreadable: what to tell the user
};

// The typed name brought to the catalogue's 20-character name field.
QString searchKey(const QString& typed);

// `installedCatalogue` may be empty when there is none.
StarLookup lookUpStar(const QString& key, const QString& installedCatalogue);

}  // namespace morvane::operations
