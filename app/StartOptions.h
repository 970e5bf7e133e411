#pragma once
// What the command line asks of a start. No argument is an ordinary start.
#include <QString>
#include <QStringList>

enum class StartMode {
    Normal,     // the window opens and a run starts
    Settings,   // the window opens on the Setting tab; no run until the Check tab is chosen
    Background, // the run starts with the window hidden; it appears only for changed pages
};

struct StartOptions {
    StartMode mode = StartMode::Normal;
    // Set when the program ends at once: with this exit code, after printing output to
    // standard output (help, version) or error to standard error.
    bool exitNow = false;
    int exitCode = 0;
    QString output;
    QString error;
};

// Reads the arguments (the program's name first, as QCoreApplication::arguments() gives them).
StartOptions ParseStartOptions(const QStringList& arguments);
