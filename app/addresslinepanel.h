// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressworker.h"

#include <QGroupBox>
#include <QStandardItemModel>

#include <functional>

class QLineEdit;
class QProgressBar;
class QPushButton;

// The address written on one line: a field (Enter resolves it, the candidates fill a table model
// with the grade and the postal address; a refused or unreadable line says why) and an action that
// processes a CSV file on the worker with a progress bar and a cancel, its summary in the log.
class AddressLinePanel : public QGroupBox {
    Q_OBJECT
public:
    // databaseFile: the file to read at each job; log: a line for the status log.
    AddressLinePanel(std::function<QString()> databaseFile, std::function<void(const QString&)> log,
        QWidget* parent = nullptr);

    QAbstractItemModel* model() { return &m_Model; }
    bool isBusy() const { return m_Worker.isBusy(); }

public slots:
    void resolveLine();
    // The file action after its dialog: output beside the input.
    void processFile(const QString& fileName);
    void chooseFile();
    void cancelFile();

signals:
    // The model holds a fresh answer: show it.
    void signalResultReady();
    void signalFileFinished(bool bSuccess);

private:
    void showAnswer(const QString& line, const AddressAnswer& answer);
    void finishFile(bool bSuccess, const QString& text);
    void setBusy(bool bBusy);

    std::function<QString()> m_DatabaseFile;
    std::function<void(const QString&)> m_Log;
    QLineEdit* m_pLine;
    QPushButton* m_pFile;
    QProgressBar* m_pProgress;
    QPushButton* m_pCancel;
    QStandardItemModel m_Model;
    AddressWorker m_Worker;
};
