#pragma once

#include "platform/oauth/OAuthProvider.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

// One sign-in with a provider, as a desktop program should (RFC 8252):
// the authorization code flow with PKCE (S256) in the user's browser, the
// answer coming back to a loopback address on a port chosen at random; or
// the device authorization grant (RFC 8628), where the user enters a short
// code on another device. Ends with exactly one Granted or Failed, unless
// cancelled first.
class OAuthSignIn : public QObject
{
    Q_OBJECT

public:
    // Opens an address in the user's browser; false when none could be started.
    using Browser = std::function<bool(const QUrl& address)>;
    // The default opens it with the desktop's default handler; tests play the browser.
    static void SetBrowser(Browser browser);

    explicit OAuthSignIn(QObject* parent = nullptr);
    ~OAuthSignIn() override;

    // The code flow in the browser.
    void Start(const OAuthProvider& provider);
    // The device grant; only when the provider has a device endpoint.
    void StartDevice(const OAuthProvider& provider);
    // Stops waiting: no signal follows.
    void Cancel();
    bool IsRunning() const;

Q_SIGNALS:
    // Code flow: the address given to the browser; `opened` false when no
    // browser could be started, so the user is to open it by hand.
    void AddressOpened(const QUrl& address, bool opened);
    // Device grant: what the user is to enter, and where.
    void DeviceCode(const QString& userCode, const QUrl& verificationAddress);
    void Granted(const OAuthGrant& grant);
    void Failed(const QString& reason);

private:
    void Answered(const QVariantMap& values);
    void Exchanged(const QJsonObject& answer, OAuthError error);
    void DeviceAnswered(const QJsonObject& answer, const OAuthError& error);
    void PollDevice();
    void Polled(const QJsonObject& answer, const OAuthError& error);
    void Finish(const OAuthGrant& grant);
    void Fail(const QString& reason);
    void FailSoon(const QString& reason);

    struct Private;
    std::unique_ptr<Private> d;
};
