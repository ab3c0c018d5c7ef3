#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>

#include "app/AppResources.h"
#include "lang/LangText.h"
#include "res/ResourceIds.h"

namespace {

// atoi's reading, minus its undefined overflow: blanks, an optional sign, then digits.
int leadingInt(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX) {
            value = INT_MAX;
            break;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

CAboutDlg::CAboutDlg(const QString& iniPath, const QString& fileVersion, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Tessor"));
    setProperty("resourceId", res::IDD_ABOUTBOX);

    auto* icon = new QLabel(this);
    icon->setPixmap(app::appIcon().pixmap(32, 32));
    auto* caption = new QLabel(QStringLiteral("Tessor Version"), this);
    m_version = new QLabel(QStringLiteral("1.0"), this);
    m_version->setProperty("controlId", res::IDC_VERSION);
    auto* notice1 = new QLabel(QStringLiteral("Copyright (C) 2026"), this);
    auto* notice2 = new QLabel(QStringLiteral("All rights reserved."), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(caption);
    versionRow->addWidget(m_version);
    versionRow->addStretch();
    auto* text = new QVBoxLayout;
    text->addLayout(versionRow);
    text->addWidget(notice1);
    text->addWidget(notice2);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    top->addWidget(ok, 0, Qt::AlignTop);
    setLayout(top);

    m_version->setText(FormatVersion(fileVersion));
    CLangText lang;
    lang.SetIniFile(iniPath);
    lang.SetSection(QStringLiteral("About Dialog"));
    lang.TranslateWindow(this);
}

QString CAboutDlg::FormatVersion(const QString& fileVersion) {
    if (fileVersion.isEmpty()) return {};
    const QStringList parts = fileVersion.split(u',');
    int n[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        // The fourth part runs to the end of the text, commas and all.
        const QString part = i < 3 ? parts[i] : parts.mid(3).join(u',');
        n[i] = leadingInt(part);
    }
    return QStringLiteral("%1.%2.%3.%4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]);
}
