#pragma once

#include <QString>

// The keys of the ODU-IDU tab's document (one entry per outdoor series, with its matched
// indoor series) and the table it is stored in.
namespace HOduAndIduDocument {

inline const QString kMatchingTable = QStringLiteral("__rule_odu_idu_matching");
inline const QString kOdu = QStringLiteral("odu");
inline const QString kMatched = QStringLiteral("match_to_ar_idu");
inline const QString kIdSeries = QStringLiteral("id_series");

} // namespace HOduAndIduDocument
