#pragma once
// What the process provides to the methods: the spreadsheet application
// factory, the message port and the presenter. The edges (bus service,
// command line) and the tests install their own; the defaults work headless.

#include <functional>
#include <memory>
#include <string>

#include "sheet/application.h"

namespace kbx::session {

enum class MessageIcon { None, Critical };

// Modal messages: with a display a message box that waits for OK; without
// one the text goes to standard error and the call goes on.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual void Show(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

// Hands a saved workbook to the user (opens it in the desktop's spreadsheet
// program when a desktop session exists).
class Presenter {
public:
    virtual ~Presenter() = default;
    virtual void Present(const std::string& file) = 0;
};

inline constexpr const char* kAppTitle = "KestBomEx";

using ApplicationFactory = std::function<std::shared_ptr<sheet::Application>()>;

struct Platform {
    // Creates a new spreadsheet application ("Excel.Application"). May return
    // null (no object) or raise a run-time error (creation failed).
    ApplicationFactory createApplication;
    std::shared_ptr<MessagePort> messages;
    std::shared_ptr<Presenter> presenter;
};

// The platform of this process, with headless defaults and the spreadsheet
// application installed by installSpreadsheet (none before).
Platform& platform();
// Restores those defaults.
void resetPlatform();

// Makes `factory` the process's spreadsheet application for good (a
// program's main installs the embedded engine); resetPlatform keeps it.
void installSpreadsheet(ApplicationFactory factory);

// Shows a message through the platform's port with the application title.
void showMessage(const std::string& text);
void showMessage(const std::string& text, const std::string& caption, MessageIcon icon);

// Creates a spreadsheet application through the platform's factory; error
// 429 when the process installed none.
std::shared_ptr<sheet::Application> createExcelApplication();

// A message port that writes "caption: text" to standard error.
class StderrMessagePort : public MessagePort {
public:
    void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;
};

// A presenter that does nothing (no desktop session).
class NullPresenter : public Presenter {
public:
    void Present(const std::string&) override {}
};

}  // namespace kbx::session
