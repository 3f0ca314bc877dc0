#include "bus/gui_thread.h"

#include <QCoreApplication>
#include <QThread>

#include <exception>
#include <iostream>

#include "session/cancellation.h"

namespace kbx::bus {

namespace {

class GuiThreadDialog : public dialog::BomOptionsDialog {
public:
    explicit GuiThreadDialog(dialog::BomOptionsDialogFactory factory) : factory_(std::move(factory)) {}

    bool ShowModal(dialog::BomOptions& options) override {
        bool ok = false;
        runOnGuiThread([&] {
            if (!session::cancelRequested()) ok = factory_()->ShowModal(options);
        });
        return ok;
    }

private:
    dialog::BomOptionsDialogFactory factory_;
};

}  // namespace

void runOnGuiThread(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    // An exception must not unwind through the GUI thread's event loop.
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

GuiThreadMessagePort::GuiThreadMessagePort(std::shared_ptr<session::MessagePort> inner) : inner_(std::move(inner)) {}

void GuiThreadMessagePort::Show(const std::string& text, const std::string& caption, session::MessageIcon icon) {
    runOnGuiThread([&] {
        if (session::cancelRequested())
            std::cerr << caption << ": " << text << std::endl;
        else
            inner_->Show(text, caption, icon);
    });
}

dialog::BomOptionsDialogFactory shownOnGuiThread(dialog::BomOptionsDialogFactory factory) {
    return [factory = std::move(factory)] { return std::make_unique<GuiThreadDialog>(factory); };
}

}  // namespace kbx::bus
