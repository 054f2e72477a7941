// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/failure_text.hpp"

#include "adapters/qt_adapters.hpp"

#include <QProcess>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tonfield::adapters {
namespace {

class QtRunningProcess final : public ports::RunningProcess {
public:
    explicit QtRunningProcess(QProcess* process)
        : process_(process)
    {
    }

    ~QtRunningProcess() override
    {
        QObject::disconnect(process_, nullptr, nullptr, nullptr);
        // Deleting a running QProcess would kill the child and wait for it, so
        // a child still running is left to end by itself and reaped then.
        if (process_->state() == QProcess::NotRunning)
            process_->deleteLater();
        else
            QObject::connect(process_, &QProcess::finished, process_, &QObject::deleteLater);
    }

    void terminate() override { process_->terminate(); }

private:
    QProcess* process_;
};

// QProcess words a failed start as "...: execve: No such file or directory";
// the user sees the system's text after the path it concerns.
// QProcess gives no errno, only its text: the failures a user can act on
// are recognised by it and said as everywhere else.
std::string startFailure(const engine::Invocation& invocation, const QString& qtText)
{
    const qsizetype colon = qtText.lastIndexOf(": ");
    const std::string reason = (colon >= 0 ? qtText.mid(colon + 2) : qtText).toStdString();
    for (const int code : {ENOENT, EACCES, EPERM, ENOTDIR, ENOEXEC, ENOMEM, EAGAIN, ELOOP}) {
        const std::error_code error(code, std::generic_category());
        if (error.message() == reason)
            return failureText(invocation.executable, error);
    }
    return invocation.executable.string() + ": " + reason;
}

} // namespace

ports::Made<ports::RunningProcess> QtProcessLauncher::launch(const engine::Invocation& invocation,
                                                             int outputFile,
                                                             std::function<void(int)> onExit)
{
    auto* process = new QProcess;
    process->setProgram(toQString(invocation.executable));
    QStringList arguments;
    for (const std::string& argument : invocation.arguments)
        arguments << QString::fromStdString(argument);
    process->setArguments(arguments);
    process->setWorkingDirectory(toQString(invocation.workingDirectory));
    QProcessEnvironment environment;
    for (const auto& [name, value] : invocation.environment)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    process->setProcessEnvironment(environment);

    // The child writes straight into the log file, so no output passes
    // through this process and a flood of it cannot stall the event loop.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setChildProcessModifier([outputFile] {
        ::dup2(outputFile, STDOUT_FILENO);
        ::dup2(outputFile, STDERR_FILENO);
    });

    QObject::connect(
        process, &QProcess::finished, process,
        [onExit = std::move(onExit)](int exitCode, QProcess::ExitStatus status) {
            // A child ended by a signal reports 128 + the signal, as a shell does.
            onExit(status == QProcess::NormalExit ? exitCode : 128 + exitCode);
        },
        Qt::QueuedConnection);

    process->start();
    // Returns as soon as exec has succeeded or failed; it does not wait for the engine.
    if (!process->waitForStarted(-1)) {
        std::string failure = startFailure(invocation, process->errorString());
        delete process;
        return ports::Made<ports::RunningProcess>::failed(std::move(failure));
    }
    return ports::Made<ports::RunningProcess>(std::make_unique<QtRunningProcess>(process));
}

} // namespace tonfield::adapters
