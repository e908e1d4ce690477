#include "platform/keyring/SecretStore.h"

#include "base/AppInfo.h"
#include "base/Texts.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

using Outcome = SecretStore::Outcome;

// The keyring may first ask the user to unlock it: wait as long as a person
// takes to type a password.
constexpr int AnswerLimitSeconds = 300;

// QtKeychain tells "no Secret Service" and "no session bus" apart from other
// failures only by their message (OtherError); the bus itself can say.
bool SecretServiceReachable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    if (!names)
        return false;
    const QString service = QStringLiteral("org.freedesktop.secrets");
    if (names->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

SecretStore::Result Failure(Outcome outcome, int textId, const QString& reason)
{
    SecretStore::Result result;
    result.outcome = outcome;
    result.problem = LoadResString(textId).replace(QLatin1String("#REASON#"), reason);
    return result;
}

// Runs the job to its end with events running, and reads what it says.
SecretStore::Result Run(QKeychain::Job* job, const QString& key)
{
    job->setAutoDelete(true); // also when it answers after we stopped waiting
    job->setInsecureFallback(false);
    job->setKey(key);

    SecretStore::Result result;
    bool answered = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection finished =
        QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
            answered = true;
            switch (done->error()) {
            case QKeychain::NoError:
                result.outcome = Outcome::Done;
                if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
                    result.value = read->textData();
                break;
            case QKeychain::EntryNotFound:
                result.outcome = Outcome::Missing;
                break;
            case QKeychain::NoBackendAvailable:
                result = Failure(Outcome::NoKeyring, 5050, done->errorString());
                break;
            default:
                result = SecretServiceReachable()
                             ? Failure(Outcome::Failed, 5051, done->errorString())
                             : Failure(Outcome::NoKeyring, 5050, done->errorString());
            }
            loop.quit();
        });
    job->start();
    limit.start(AnswerLimitSeconds * 1000);
    if (!answered)
        loop.exec();
    if (!answered) {
        QObject::disconnect(finished);
        result.outcome = Outcome::Failed;
        result.problem = LoadResString(5052).replace(QLatin1String("#SECONDS#"),
                                                     QString::number(AnswerLimitSeconds));
    }
    return result;
}

} // namespace

SecretStore::Result SecretStore::Read(const QString& key)
{
    return Run(new QKeychain::ReadPasswordJob(AppInfo::ProductName()), key);
}

SecretStore::Result SecretStore::Write(const QString& key, const QString& value)
{
    auto* job = new QKeychain::WritePasswordJob(AppInfo::ProductName());
    job->setTextData(value);
    return Run(job, key);
}

SecretStore::Result SecretStore::Remove(const QString& key)
{
    Result result = Run(new QKeychain::DeletePasswordJob(AppInfo::ProductName()), key);
    if (result.outcome == Outcome::Missing)
        result = Result{Outcome::Done, {}, {}};
    return result;
}

bool SecretStore::Available()
{
    return SecretServiceReachable();
}
