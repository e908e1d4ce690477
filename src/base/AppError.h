#pragma once

#include <QString>
#include <exception>

// An error as the program reports it: a number, the place it came from and a
// description meant for the user (for data sources, the provider's own words).
class AppError : public std::exception
{
public:
    AppError(long number, QString source, QString description)
        : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
          m_what(m_description.toUtf8())
    {
    }

    long Number() const noexcept { return m_number; }
    const QString& Source() const noexcept { return m_source; }
    const QString& Description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    long m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
