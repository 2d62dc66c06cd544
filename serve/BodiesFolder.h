#pragma once

#include "util/SystemError.h"

#include <QString>

// The service's folder for its requests' documents and texts, in the temporary
// folder: tarnwick-serve-<random>, private, and locked for as long as the service
// runs. The lock tells a later start that its service is alive: a service that was
// killed (SIGKILL, the OOM killer) leaves its folder behind, with the documents that
// were in it, and the next start removes it before it serves.
class BodiesFolder {
public:
    // Removes the folders killed services left, then makes this one. Throws AppError.
    BodiesFolder();
    ~BodiesFolder(); // removes the folder and what is in it
    BodiesFolder(const BodiesFolder &) = delete;
    BodiesFolder &operator=(const BodiesFolder &) = delete;

    const QString &path() const { return m_path; }
    // How many folders of killed services the start removed.
    int removedLeftOvers() const { return m_removed; }

private:
    QString m_path;
    FileDescriptor m_lock;
    int m_removed = 0;
};
