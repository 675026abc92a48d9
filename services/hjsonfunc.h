#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// JSON files: reading that never leaves a half-filled document, writing that never
// leaves a half-written file.
class HJsonFunc
{
public:
    // True when the file was read and holds a JSON object. On failure doc is an empty
    // object and *error (when given) says why, with the file name.
    static bool readFileToJsonDoc(const QString &path, QJsonDocument &doc,
                                  QString *error = nullptr);
    // Replaces the file atomically through HSafeFile (a crash or a failed write leaves the
    // previous file as it was) and creates a missing parent folder; a file that already holds
    // exactly this text is not touched. False with *error (the file and the cause) on failure.
    static bool jsonDocToFile(const QJsonDocument &doc, const QString &path,
                              QJsonDocument::JsonFormat format, QString *error = nullptr);
    static QJsonDocument jsonObjectToJsonDoc(const QJsonObject &object);
};
