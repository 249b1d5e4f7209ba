// SPDX-License-Identifier: GPL-3.0-or-later
#include "importpipeline.h"

#include "dbfblockreader.h"

#include <qdbf/qdbfrecord.h>

namespace {
constexpr size_t WaitingBlocks = 2;
}

ImportPipeline::ImportPipeline(const TableStep& step, const TypeNames& types)
    : m_Step(step)
    , m_Types(types)
{
}

ImportPipeline::~ImportPipeline()
{
    finish();
}

bool ImportPipeline::open(const ClassifierSource& source, const QString& fileName, QString* error)
{
    m_Reader = std::thread([this, source, fileName] { read(source, fileName); });
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Ready.wait(lock, [this] { return m_OpenState != OpenState::Opening; });
    *error = m_OpenError;
    return m_OpenState == OpenState::Open;
}

bool ImportPipeline::next(SourceBlock& block)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Ready.wait(lock, [this] { return !m_Blocks.empty() || m_bClosed || m_bAborted; });
    if (m_bAborted || m_Blocks.empty())
        return false;
    block = std::move(m_Blocks.front());
    m_Blocks.pop_front();
    m_Space.notify_one();
    return true;
}

int ImportPipeline::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_bClosed)
            m_bAborted = true;
        m_Blocks.clear();
        m_Ready.notify_all();
        m_Space.notify_all();
    }
    if (m_Reader.joinable())
        m_Reader.join();
    return m_nBlocks;
}

// The reading thread.
void ImportPipeline::read(const ClassifierSource& source, const QString& fileName)
{
    DbfBlockReader reader;
    QString error;
    bool opened = reader.open(source, fileName, &error);
    DbfBlockReader::HeaderCheck header;
    if (opened && m_bCheckHeader) {
        header = reader.checkHeader();
        opened = header.fits;
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_nSize = reader.size();
        m_OpenError = error;
        m_Header = header;
        m_OpenState = opened ? OpenState::Open : OpenState::Failed;
        m_Ready.notify_all();
    }
    if (!opened) {
        close();
        return;
    }
    for (;;) {
        SourceBlock block;
        block.rows.reserve(DbfBlockReader::BlockRows);
        const bool read = reader.readBlock([&](int nRow, const QDbf::QDbfRecord& record) {
            SourceRow row;
            row.row = nRow;
            block.rows.push_back(row);
            m_Step.map(block.values, record, m_Types);
        });
        if (!read)
            break;
        block.unreadable = reader.unreadable();
        if (block.unreadable > 0)
            block.readError = reader.deviceError();
        ++m_nBlocks;
        if (!push(std::move(block)))
            return;
    }
    close();
}

bool ImportPipeline::push(SourceBlock&& block)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Space.wait(lock, [this] { return m_Blocks.size() < WaitingBlocks || m_bAborted; });
    if (m_bAborted)
        return false;
    m_Blocks.push_back(std::move(block));
    m_Ready.notify_one();
    return true;
}

void ImportPipeline::close()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bClosed = true;
    m_Ready.notify_all();
}
