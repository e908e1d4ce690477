#pragma once

#include <QString>

// The desktop keyring (the Secret Service) under the program's name, one
// secret per key. Each call waits for the keyring with events running, so
// windows paint while it answers or asks the user to unlock it.
class SecretStore
{
public:
    enum class Outcome {
        Done,      // read, written or removed
        Missing,   // no secret under that key
        NoKeyring, // no keyring answers here
        Failed,    // it answered with an error (locked and not unlocked, ...)
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString value;   // what was read
        QString problem; // why not, for the user
    };

    static Result Read(const QString& key);
    static Result Write(const QString& key, const QString& value);
    static Result Remove(const QString& key); // Done also when there was none
    // Whether a keyring answers on this desktop (is running, or would start
    // when asked); asks the bus only, not the keyring.
    static bool Available();
};
