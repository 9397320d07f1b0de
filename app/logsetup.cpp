#include "logsetup.h"

#include "hostservice.h"

#include <QDir>

#include <log4cxx/consoleappender.h>
#include <log4cxx/fileappender.h>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/patternlayout.h>

QString setupLogging(const QString& directory)
{
    QDir().mkpath(directory);
    const QString path = QDir(directory).filePath(QStringLiteral("demohost.log"));

    auto layout = std::make_shared<log4cxx::PatternLayout>(LOG4CXX_STR("%d{yyyy-MM-dd HH:mm:ss,SSS} %-5p [%t] %m%n"));
    auto file = std::make_shared<log4cxx::FileAppender>(layout, path.toStdString(), true);
    auto console = std::make_shared<log4cxx::ConsoleAppender>(layout, log4cxx::ConsoleAppender::getSystemErr());

    auto root = log4cxx::Logger::getRootLogger();
    root->removeAllAppenders();
    root->addAppender(file);
    root->addAppender(console);
    root->setLevel(log4cxx::Level::getInfo());
    g_RQStdLogger->setLevel(log4cxx::Level::getInfo());
    return path;
}
