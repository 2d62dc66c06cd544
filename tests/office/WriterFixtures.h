#pragma once

#include <QString>
#include <QStringList>

// Minimal Writer documents, one paragraph per entry, written to `path`.
void writeOdt(const QString &path, const QStringList &paragraphs);
// OpenOffice.org 1.x format.
void writeSxw(const QString &path, const QStringList &paragraphs);
// An .odt cut off halfway, as a broken download leaves it.
void writeTruncatedOdt(const QString &path);
