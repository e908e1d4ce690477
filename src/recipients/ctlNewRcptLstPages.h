#pragma once

#include "platform/providers/contacts/ContactsCatalog.h"
#include "platform/recordset/Recordset.h"

#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class RecipientList;
class RecordsetTableModel;

namespace Ui {
class ctlNewRcpLstName;
class ctlNewRcptLstSourceType;
class ctlNewRcptLstSQL;
class ctlNewRcptLstAccess;
class ctlNewRcptLstXml;
class ctlNewRcptLstExcel;
class ctlNewRcptLstAdvanced;
class ctlNewRcptLstCatalog;
class ctlNewRcptLstFinish;
class ctlNewRcptLstOutlookProfile;
class ctlNewRcptLstOutlookCatalog;
class ctlNewRcptLstExcelFirstRow;
} // namespace Ui

// One page of the New Recipient List wizard. It maps some fields of the list
// to its controls and checks them; Validate refuses with AppError 40 or 41
// (a "title|text" description, pointed at Anchor(number)) or passes on the
// source's own error from the trial connection or read.
class ctlNewRcptLstPage : public QWidget
{
    Q_OBJECT

public:
    // Runs work that may wait on a source (the window shows it is trying and
    // offers Cancel meanwhile).
    using Attempt = std::function<void(const std::function<void()>&)>;

    using QWidget::QWidget;

    // Raises the source's error when what it lists cannot be read; the
    // fields are filled all the same.
    virtual void SetControlValues(RecipientList& list) = 0;
    virtual void GetControlValues(RecipientList& list) = 0;
    virtual void Validate(RecipientList& list) = 0;
    virtual QWidget* Anchor(long number) = 0;
    // The page is left: let go of what it read.
    virtual void Leave() {}

    void SetAttempt(Attempt attempt) { m_attempt = std::move(attempt); }

    static constexpr long ErrField = 40;
    static constexpr long ErrSecondField = 41;

protected:
    [[noreturn]] static void Refuse(long number, int textId);
    void Try(const std::function<void()>& work) const { m_attempt ? m_attempt(work) : work(); }

private:
    Attempt m_attempt;
};

// Authentication Required, user, password and Blank Password, as the file
// and XML pages have them.
class AuthenticationFields
{
public:
    AuthenticationFields(QCheckBox* required, QLabel* userLabel, QLineEdit* user,
                         QLabel* passwordLabel, QLineEdit* password, QCheckBox* blank, bool trim);
    void Set(const RecipientList& list);
    void Get(RecipientList& list) const;
    void Update();
    QLineEdit* User() const { return m_user; }

private:
    QCheckBox* m_required;
    QLabel* m_userLabel;
    QLineEdit* m_user;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QCheckBox* m_blank;
    bool m_trim;
};

class ctlNewRcpLstName : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcpLstName(QWidget* parent = nullptr);
    ~ctlNewRcpLstName() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    std::unique_ptr<Ui::ctlNewRcpLstName> ui;
};

class ctlNewRcptLstSourceType : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstSourceType(QWidget* parent = nullptr);
    ~ctlNewRcptLstSourceType() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    QList<QRadioButton*> Buttons() const;
    std::unique_ptr<Ui::ctlNewRcptLstSourceType> ui;
};

class ctlNewRcptLstSQL : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstSQL(QWidget* parent = nullptr);
    ~ctlNewRcptLstSQL() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    void UpdateEnabled();
    void FillDatabases(const RecipientList& list);
    std::unique_ptr<Ui::ctlNewRcptLstSQL> ui;
};

class ctlNewRcptLstAccess : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstAccess(QWidget* parent = nullptr);
    ~ctlNewRcptLstAccess() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    std::unique_ptr<Ui::ctlNewRcptLstAccess> ui;
    std::unique_ptr<AuthenticationFields> m_auth;
};

class ctlNewRcptLstXml : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstXml(QWidget* parent = nullptr);
    ~ctlNewRcptLstXml() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

    // An http or https address, a file: URL of a file or folder that exists,
    // or an absolute path that exists.
    static bool IsValidAddress(const QString& address);

private:
    std::unique_ptr<Ui::ctlNewRcptLstXml> ui;
    std::unique_ptr<AuthenticationFields> m_auth;
};

class ctlNewRcptLstExcel : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstExcel(QWidget* parent = nullptr);
    ~ctlNewRcptLstExcel() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    std::unique_ptr<Ui::ctlNewRcptLstExcel> ui;
    std::unique_ptr<AuthenticationFields> m_auth;
};

class ctlNewRcptLstAdvanced : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstAdvanced(QWidget* parent = nullptr);
    ~ctlNewRcptLstAdvanced() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    std::unique_ptr<Ui::ctlNewRcptLstAdvanced> ui;
};

class ctlNewRcptLstCatalog : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstCatalog(QWidget* parent = nullptr);
    ~ctlNewRcptLstCatalog() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    void UpdateEnabled();
    std::unique_ptr<Ui::ctlNewRcptLstCatalog> ui;
    qint32 m_dataType = -1;
};

class ctlNewRcptLstFinish : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstFinish(QWidget* parent = nullptr);
    ~ctlNewRcptLstFinish() override;
    void SetControlValues(RecipientList&) override {}
    void GetControlValues(RecipientList&) override {}
    void Validate(RecipientList&) override {}
    QWidget* Anchor(long) override { return nullptr; }

private:
    std::unique_ptr<Ui::ctlNewRcptLstFinish> ui;
};

class ctlNewRcptLstOutlookProfile : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstOutlookProfile(QWidget* parent = nullptr);
    ~ctlNewRcptLstOutlookProfile() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    void UpdateEnabled();
    std::unique_ptr<Ui::ctlNewRcptLstOutlookProfile> ui;
};

class ctlNewRcptLstOutlookCatalog : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    explicit ctlNewRcptLstOutlookCatalog(QWidget* parent = nullptr);
    ~ctlNewRcptLstOutlookCatalog() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;

private:
    void List(int catalogType);
    std::unique_ptr<Ui::ctlNewRcptLstOutlookCatalog> ui;
    QString m_profile;
};

class ctlNewRcptLstExcelFirstRow : public ctlNewRcptLstPage
{
    Q_OBJECT
public:
    // Rows read for each preview.
    static constexpr int PreviewRows = 100;

    explicit ctlNewRcptLstExcelFirstRow(QWidget* parent = nullptr);
    ~ctlNewRcptLstExcelFirstRow() override;
    void SetControlValues(RecipientList& list) override;
    void GetControlValues(RecipientList& list) override;
    void Validate(RecipientList& list) override;
    QWidget* Anchor(long number) override;
    void Leave() override;

private:
    void BindPreview();
    std::unique_ptr<Ui::ctlNewRcptLstExcelFirstRow> ui;
    RecordsetTableModel* m_model;
    Recordset m_withHeadings;
    Recordset m_withoutHeadings;
};
