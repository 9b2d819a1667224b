#include "operations/star_lookup.h"

#include "catalogue/catalogue_lookup.h"
#include "catalogue/search_key.h"

#include <QStringList>

namespace morvane::operations {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

QString searchKey(const QString& typed) {
    return text(catalogue::searchKey(typed.toStdString()));
}

StarLookup lookUpStar(const QString& key, const QString& installedCatalogue) {
    const auto candidates =
        catalogue::catalogueCandidates(std::filesystem::path(installedCatalogue.toStdString()));
    const auto result = catalogue::searchCatalogue(candidates, key.toStdString());

    StarLookup lookup;
    switch (result.status) {
        case catalogue::SearchStatus::Found: {
            const auto& f = result.fields;
            lookup.status = StarLookup::Status::Found;
            lookup.hours = text(f.raHours);
            lookup.minutes = text(f.raMinutes);
            lookup.seconds = text(f.raSeconds);
            lookup.sign = text(f.decSign);
            lookup.degrees = text(f.decDegrees);
            lookup.arcminutes = text(f.decArcminutes);
            break;
        }
        case catalogue::SearchStatus::NotFound:
            lookup.status = StarLookup::Status::NotFound;
            lookup.message = key + QStringLiteral("no found");
            break;
        case catalogue::SearchStatus::Unreadable: {
            lookup.status = StarLookup::Status::Unreadable;
            QStringList tried;
            for (const auto& failure : result.failures) {
                tried << QStringLiteral("%1 (%2)").arg(
                    QString::fromStdString(failure.path.string()), text(failure.reason));
            }
            lookup.message = QStringLiteral(
                                 "Could not read the star catalogue: %1. Put star.dat "
                                 "in the working folder, or reinstall the program.")
                                 .arg(tried.join(QStringLiteral("; ")));
            break;
        }
    }
    return lookup;
}

}  // namespace morvane::operations
