#pragma once

#include <QJsonObject>
#include <QString>

// The JSON types a scheme's known keys must hold.
namespace HSchemeTypes {

// The first value of the scheme whose JSON type is wrong, described with its key (e.g.
// "idx_table[12].oem_model"); empty when every known key holds its type. Such a scheme would
// load as if those values were empty. A value that is absent or null is left to completion
// and to the editor's defaults, as schemes of earlier versions have it.
QString wrongType(const QJsonObject &scheme);

} // namespace HSchemeTypes
