#pragma once
// The class KestDBBomExcel on the session bus. The generated adaptor calls the
// slots below; each one only queues its message. Queued calls run strictly one
// at a time in arrival order on a worker thread, so that the bus loop on the
// main thread stays free: it answers introspection and pings, queues new
// calls and notices hosts leaving while a method works or a dialog of it is
// open. The object keeps the unique names of the hosts that called it; the
// queued calls of a host that has left are dropped, and its running call is
// asked to stop. It reports when the last host has left.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QThread>

#include <memory>
#include <optional>

#include "automation/kest_db_bom_excel.h"

namespace kbx::bus {

class BusObject : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit BusObject(const QDBusConnection& connection, QObject* parent = nullptr);
    // Asks a running call to stop and waits for the worker thread to end.
    ~BusObject() override;

    // Hosts that called and are still connected.
    int connectedHosts() const { return static_cast<int>(hosts_.size()); }
    // No host connected, no call waiting or running.
    bool idle() const { return hosts_.isEmpty() && pending_.isEmpty() && !running_; }

    // Sends a message shown without a display to the host of the running
    // call only: as MessageShown(text, caption) and as MessageShownForCall
    // (text, caption, method, call number). Main thread.
    void sendMessageShown(const QString& text, const QString& caption);

public slots:
    void ReleaseExcel();
    int ExportBomExcel(const QDBusVariant& HeadNames, const QDBusVariant& HeadVals, int RecordSize,
                       const QDBusVariant& PosNames, const QDBusVariant& PosVals, const QString& ExcelFileName,
                       int Language, const QString& KestDBDir, int EmBed, const QString& Profile, int reverse,
                       const QString& templte, int Clos, const QString& SheetName, QString& ExcelFileName_out);
    int GetBomParams(const QString& KestDBDir, const QDBusVariant& Profiles, int reverse, int EmBed,
                     const QString& templte, const QString& ExcelFileName, QDBusVariant& Profiles_out, int& reverse_out,
                     int& EmBed_out, QString& templte_out, QString& ExcelFileName_out);
    short ExportAsTxt(const QString& ExcelName, const QString& TxtName);
    short ExportAsTxt2(const QString& ExcelName, const QString& TxtName, const QString& SheetName);
    QDBusVariant ExportPlain(const QDBusVariant& HeadNames, const QDBusVariant& HeadVals, int RecordSize,
                             const QDBusVariant& PosNames, const QDBusVariant& PosVals, const QString& TemplateFile,
                             const QString& ExcelFile, int Language, int Company, int PosPerSheet, int InsertEmptyRows);
    QDBusVariant CreateSummaryExcel(const QDBusVariant& PosNames, const QDBusVariant& HeadNames,
                                    const QDBusVariant& PosVals, int RecordSize, const QString& TemplateFile,
                                    const QString& ExcelFile, int Language, int Company, int PosPerSheet);
    QDBusVariant CreateSummaryTemplate(const QDBusVariant& Names);
    QDBusVariant ExportPlain2(const QDBusVariant& HeadNames, const QDBusVariant& HeadVals, int RecordSize,
                              const QDBusVariant& PosNames, const QDBusVariant& PosVals, const QString& TemplateFile,
                              const QString& ExcelFile, int Language, int Company, int PosPerSheet, int InsertEmptyRows,
                              const QString& TargetSheetName);

signals:
    // Every host that called has left and no call is waiting or running.
    void lastHostLeft();

private slots:
    void startNextCall();
    void hostLeft(const QString& uniqueName);

private:
    struct RunningCall {
        QDBusMessage message;
        quint32 number = 0;
    };

    void queueCurrentCall();
    void remember(const QString& uniqueName);
    void dropQueuedCallsOf(const QString& uniqueName);
    void checkIdle();
    // Sends the answer of the running call and starts the next one.
    void callFinished(const QDBusMessage& result);
    // Worker thread: decodes and runs one call; its reply or error reply.
    QDBusMessage answer(const QDBusMessage& call);
    QDBusMessage reply(const QDBusMessage& call);

    QDBusConnection connection_;
    automation::KestDBBomExcel object_;
    QQueue<QDBusMessage> pending_;
    std::optional<RunningCall> running_;
    quint32 callsStarted_ = 0;
    bool stopping_ = false;
    QSet<QString> hosts_;
    QDBusServiceWatcher watcher_;
    QThread workerThread_;
    std::unique_ptr<QObject> worker_;  // lives in workerThread_; calls run in its context
};

}  // namespace kbx::bus
