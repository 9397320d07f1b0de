// SQLite failures named for the user, from the result code or, where the driver dropped it,
// from SQLite's own message.
#include "sqlerrortext.h"

#include <QSqlError>
#include <QtTest>

class TestSqlErrorText : public QObject
{
    Q_OBJECT

private slots:
    void namesTheReason_data();
    void namesTheReason();
};

void TestSqlErrorText::namesTheReason_data()
{
    QTest::addColumn<QString>("databaseText");
    QTest::addColumn<QString>("code"); // empty: dropped by the driver, as on COMMIT
    QTest::addColumn<QString>("reason");

    // name, databaseText, code, reason
    static const char* const rows[][4] = {
        {"busy by code", "database is locked", "5", "数据库正被其他程序占用"},
        {"busy, extended code", "database is locked", "517", "数据库正被其他程序占用"},
        {"commit, locked, no code", "database is locked", "", "数据库正被其他程序占用"},
        {"commit, disk full, no code", "database or disk is full", "", "磁盘空间已满"},
        {"commit, read-only, no code", "attempt to write a readonly database", "", "数据库文件为只读"},
        {"commit, I/O, no code", "disk I/O error", "", "读写数据库文件出错"},
        {"not a database, no code", "file is not a database", "", "数据库文件已损坏"},
        {"disk full by code", "", "13", "磁盘空间已满"},
        {"code wins over text", "database is locked", "13", "磁盘空间已满"},
        {"unknown", "no such table: x", "1", "数据库操作出错"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
}

// The user reads what to do about it, and the driver's words follow for the log.
void TestSqlErrorText::namesTheReason()
{
    QFETCH(QString, databaseText);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    const QSqlError error(QStringLiteral("Unable to commit transaction"), databaseText, QSqlError::TransactionError,
                          code);
    const QString text = QString::fromStdString(rqservice::describeSqlError(error, "保存上传数据"));
    QVERIFY2(text.startsWith(QStringLiteral("保存上传数据失败: ") + reason), qPrintable(text));
    QVERIFY2(text.endsWith(QStringLiteral("(") + error.text() + QStringLiteral(")")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestSqlErrorText)
#include "tst_sqlerrortext.moc"
