#pragma once

#include <QString>

// Sends the client's log to a file and to standard error; returns the file's path.
QString setupLogging(const QString& directory);
