// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"
#include "files/ParameterSave.h"

#include <QObject>
#include <QTextStream>

#include <functional>

struct CliContext;

/// The parameter-file commands of tarvine-cli: save, view, send and diff,
/// over the same core as the parameter-file window.
class FileCommands : public QObject, public ParameterSaveListener
{
    Q_OBJECT

public:
    static const CliCommand Save;
    static const CliCommand View;
    static const CliCommand Send;
    static const CliCommand Diff;

    explicit FileCommands(CliContext &context);
    ~FileCommands() override;

    // ParameterSaveListener
    void saveStatus(const QString &text) override;
    void saveEnded(bool written, const QString &failure) override;

private:
    /// Runs save, send or diff on the open connection.
    static int run(CliContext &context);
    /// view FILE: reads a file without a controller and lists its registers.
    static int view(CliContext &context);
    /// The decoder stored 0x5B (queued onto this thread by the runner).
    void limitsReceived();
    int save();
    int send();
    int diff();
    int fail(int code, const QString &message);
    /// Reads the readable value registers of \a content back; 0 or an exit code.
    int readBack(const ParameterFileContent &content);

    CliContext &m_c;
    QString m_file; ///< the FILE argument
    std::unique_ptr<ParameterSave> m_save;
    bool m_saveEnded = false;
    bool m_saveWritten = false;
    QString m_saveFailure;
};
