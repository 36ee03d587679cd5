#pragma once

// Where tovo-host sends the log records of the add-on and the libraries (fenbase logging).
// Records up to the log level go to the log file, by default tovo-host.log in the user's state
// folder ($XDG_STATE_HOME/quorix, else ~/.local/state/quorix, made readable by the owner only);
// of those only the warnings and errors (level 0) also go to standard error, so a terminal stays
// quiet. --log-level and --log-file set them, else FENBASE_LOG_LEVEL and FENBASE_LOG_FILE;
// a file "-" means standard error for every record.

#include <QProcessEnvironment>
#include <QtGlobal>
#include <QString>

#include <optional>

class HostLogging
{
public:
    // fenbase levels: a smaller one is more important. Nothing of the add-on's is at level 0;
    // level 1 carries its start-up, connection and dispatch messages and its failures, 2 its
    // request traces, 3 the UI framework's timings.
    static constexpr int kDefaultLevel = 2;
    static constexpr int kStderrLevel = 0;
    static constexpr int kMaxLevel = 65535;
    static constexpr char kStderrName[] = "-";
    // At start-up a default log file larger than this becomes tovo-host.log.old (replacing the
    // previous one), so the file does not grow without end.
    static constexpr qint64 kRotateBytes = 8 * 1024 * 1024;

    struct Settings
    {
        QString file; // empty: standard error only
        int level = kDefaultLevel;
        int stderrLevel = kStderrLevel;
        bool defaultFile = false; // the file is the one in the state folder
    };

    // "error" and "warning" (0), "info" (1), "debug" (2), "trace" (3), or a number from 0 to
    // 65535; nothing for anything else.
    static std::optional<int> parseLevel(const QString& text);
    static QString levelNames();
    static QString defaultFile(const QProcessEnvironment& environment);
    // The options win over the environment, which wins over the defaults. An environment value
    // that is not a level is ignored, as fenbase always did.
    static Settings resolve(const std::optional<int>& optionLevel, const QString& optionFile,
                            const QProcessEnvironment& environment);
    // Makes the default file's folder (owner only), sets a large default file aside and hands the
    // settings to fenbase. When the file cannot be written, every record goes to standard error
    // instead and `error` says why.
    static bool apply(const Settings& settings, QString* error);
    // Qt's own messages become records of module "Qt" too: critical and fatal ones at level 0,
    // warnings at 1, information at 2, debug output at 3.
    static void routeQtMessages();

private:
    static bool makePrivateFolder(const QString& path, QString* error);
    static bool canAppend(const QString& path, QString* error);
    static void setAsideWhenLarge(const QString& path);
};
