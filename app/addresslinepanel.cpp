// SPDX-License-Identifier: GPL-3.0-or-later
#include "addresslinepanel.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

AddressLinePanel::AddressLinePanel(
    std::function<QString()> databaseFile, std::function<void(const QString&)> log, QWidget* parent)
    : QGroupBox(parent)
    , m_DatabaseFile(std::move(databaseFile))
    , m_Log(std::move(log))
    , m_pLine(new QLineEdit(this))
    , m_pFile(new QPushButton(QStringLiteral("Файл…"), this))
    , m_pProgress(new QProgressBar(this))
    , m_pCancel(new QPushButton(QStringLiteral("Отмена"), this))
{
    setObjectName(QStringLiteral("gbAddressLine"));
    m_pLine->setObjectName(QStringLiteral("leAddressLine"));
    m_pLine->setPlaceholderText(
        QStringLiteral("Ростовская обл, г. Ростов-на-Дону, ул. Ленина, д. 12 корп. 1, кв. 5"));
    m_pLine->setClearButtonEnabled(true);
    // Beside the search button the panel has no title of its own: the example in the field and
    // its tooltip say what it takes.
    m_pLine->setToolTip(
        QStringLiteral("Адрес одной строкой, как его пишут на конверте; Enter — найти индекс"));
    setFlat(true);
    m_pFile->setObjectName(QStringLiteral("pbAddressFile"));
    m_pFile->setToolTip(QStringLiteral("Найти индексы всех адресов файла CSV; результат — рядом с ним"));
    m_pLine->setMinimumWidth(80);
    m_pProgress->setObjectName(QStringLiteral("pbAddressFileProgress"));
    m_pCancel->setObjectName(QStringLiteral("pbAddressFileCancel"));
    m_pProgress->setRange(0, 100);
    m_pProgress->hide();
    m_pCancel->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pLine, 1);
    layout->addWidget(m_pFile);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pCancel);

    m_Model.setHorizontalHeaderLabels(
        { QStringLiteral("Индекс"), QStringLiteral("Точность"), QStringLiteral("Почтовый адрес") });

    connect(m_pLine, &QLineEdit::returnPressed, this, &AddressLinePanel::resolveLine);
    connect(m_pFile, &QPushButton::clicked, this, &AddressLinePanel::chooseFile);
    connect(m_pCancel, &QPushButton::clicked, this, &AddressLinePanel::cancelFile);
    connect(&m_Worker, &AddressWorker::signalLineResolved, this, &AddressLinePanel::showAnswer);
    connect(&m_Worker, &AddressWorker::signalFileProgress, m_pProgress, &QProgressBar::setValue);
    connect(&m_Worker, &AddressWorker::signalFileNote, this, [this](const QString& text) { m_Log(text); });
    connect(&m_Worker, &AddressWorker::signalFileFinished, this, &AddressLinePanel::finishFile);
}

void AddressLinePanel::resolveLine()
{
    const QString line = m_pLine->text();
    if (line.trimmed().isEmpty() || !m_Worker.resolveLine(m_DatabaseFile(), line))
        return;
    setBusy(true);
}

void AddressLinePanel::showAnswer(const QString& line, const AddressAnswer& answer)
{
    setBusy(false);
    m_Model.removeRows(0, m_Model.rowCount());
    const auto addRow = [this](const QString& index, AddressGrade grade, const QString& address) {
        m_Model.appendRow(
            { new QStandardItem(index), new QStandardItem(gradeText(grade)), new QStandardItem(address) });
    };
    if (answer.grade == AddressGrade::NotFound) {
        addRow(QString(), answer.grade, answer.problem);
        m_Log(QStringLiteral("Адрес «%1» не найден: %2").arg(line, answer.problem));
    } else if (answer.grade == AddressGrade::Ambiguous) {
        for (const AddressCandidate& candidate : answer.candidates)
            addRow(candidate.index, candidate.grade, candidate.address);
        m_Log(QStringLiteral("Адрес «%1» неоднозначен: %2").arg(line, answer.problem));
    } else {
        addRow(answer.index, answer.grade, answer.address);
        m_Log(QStringLiteral("Адрес «%1»: %2 (%3)").arg(line, answer.index, gradeText(answer.grade)));
    }
    for (const QString& note : answer.notes)
        m_Log(note);
    emit signalResultReady();
}

void AddressLinePanel::chooseFile()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, QStringLiteral("Файл адресов"), QString(), QStringLiteral("CSV (*.csv *.txt);;Все файлы (*)"));
    if (!fileName.isEmpty())
        processFile(fileName);
}

void AddressLinePanel::processFile(const QString& fileName)
{
    AddressFile::Options options;
    options.input = fileName;
    if (!m_Worker.resolveFile(m_DatabaseFile(), options))
        return;
    m_Log(QStringLiteral("Обработка файла %1").arg(fileName));
    m_pProgress->setValue(0);
    setBusy(true);
}

void AddressLinePanel::cancelFile()
{
    m_Worker.cancel();
}

void AddressLinePanel::finishFile(bool bSuccess, const QString& text)
{
    setBusy(false);
    m_Log(bSuccess ? text : QStringLiteral("Файл не обработан: %1").arg(text));
    emit signalFileFinished(bSuccess);
}

void AddressLinePanel::setBusy(bool bBusy)
{
    m_pLine->setEnabled(!bBusy);
    m_pFile->setEnabled(!bBusy);
    m_pProgress->setVisible(bBusy);
    m_pCancel->setVisible(bBusy);
}
