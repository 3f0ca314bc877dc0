#pragma once
// The class KestDBBomExcel on the session bus. The generated adaptor calls the
// slots below; each one only queues its message. Queued calls run strictly one
// at a time in arrival order on the main thread, also while a dialog or a
// message box of an earlier call runs a nested event loop. The object keeps
// the unique names of the hosts that called it and reports when the last of
// them has left the bus.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QQueue>
#include <QSet>

#include "automation/kest_db_bom_excel.h"

namespace kbx::bus {

class BusObject : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit BusObject(const QDBusConnection& connection, QObject* parent = nullptr);

    // Hosts that called and are still connected.
    int connectedHosts() const { return static_cast<int>(hosts_.size()); }
    // No host connected, no call waiting or running.
    bool idle() const { return hosts_.isEmpty() && pending_.isEmpty() && !running_; }

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
    // A message shown without a display (relayed on the bus by the adaptor).
    void MessageShown(const QString& text, const QString& caption);
    // Every host that called has left and no call is waiting or running.
    void lastHostLeft();

private slots:
    void drainQueue();
    void hostLeft(const QString& uniqueName);

private:
    void queueCurrentCall();
    void remember(const QString& uniqueName);
    void runCall(const QDBusMessage& call);
    QDBusMessage reply(const QDBusMessage& call);
    void checkIdle();

    QDBusConnection connection_;
    KestDBBomExcel object_;
    QQueue<QDBusMessage> pending_;
    bool running_ = false;
    QSet<QString> hosts_;
    QDBusServiceWatcher watcher_;
};

}  // namespace kbx::bus
