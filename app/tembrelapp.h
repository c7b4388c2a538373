#pragma once
#include <QStringList>
#include <functional>
#include <memory>

#include "programswitches.h"

class QTranslator;
class THelpKey;
class TSession;
class Tffltaud;
class Tfmaintmb;
class Tfoptlist;
class Tfstattmb;

// Raises the process's scheduling priority where the system allows it; otherwise
// the program runs on at its normal priority. True when the priority was raised.
bool RaiseProcessPriority();

// Waits the given milliseconds without handling events (the start-up pauses).
// Tests install their own waiting; nullptr puts the real one back.
void PauseMilliseconds(int ms);
void SetPauseFunction(std::function<void(int ms)> pause);

// The program as a whole: the start-up sequence, the objects it creates in their
// order, the main loop and the shutdown in the reverse order.
class TTembrelApp {
public:
    explicit TTembrelApp(const QStringList &arguments);
    // Destroys the objects in the reverse order of their creation.
    ~TTembrelApp();
    TTembrelApp(const TTembrelApp &) = delete;
    TTembrelApp &operator=(const TTembrelApp &) = delete;

    // Logging, the "uninst" switch and the single-instance check. Returns only when
    // this copy is to go on starting.
    void Prepare();
    // Creates the windows and modules in their order and wires them together.
    // False when the data folder is held by another logger (the user has been told).
    bool CreateObjects();
    // "install": the settings dialog alone. Otherwise the start-up step; true when
    // the main loop is to run.
    bool Start();
    // The main loop; returns the program's exit code.
    int Exec();
    // Prepare, CreateObjects, Start and Exec in a row.
    int Run();

    const TProgramSwitches &Switches() const { return m_switches; }

    // In the order of creation.
    std::unique_ptr<Tfmaintmb> fmaintmb;
    std::unique_ptr<TSession> session;
    std::unique_ptr<Tffltaud> ffltaud;
    std::unique_ptr<Tfstattmb> fstattmb;
    std::unique_ptr<Tfoptlist> foptlist;
    // F1: the help of the window the user is in.
    std::unique_ptr<THelpKey> helpKey;

private:
    void prepareSimulatedSettings();

    QStringList m_arguments;
    TProgramSwitches m_switches;
};

// The application's name, without a display name the platform would add to captions.
void NameApplication();
// Loads the toolkit's Czech texts for its own dialogs, owned by the application;
// nullptr when they are missing.
QTranslator *InstallToolkitTranslations();

// The program entry: the application object, then TTembrelApp::Run.
int RunTembrel(int argc, char **argv);
