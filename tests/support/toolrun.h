#pragma once
// A command-line program run to its end, as a script would run it.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ToolRun
{
    int exitCode = -1; // -1 also when it did not end within a minute
    QString out;
    QString err;
};

inline ToolRun runProgram(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000))
        return {};
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

} // namespace testsupport
