#include "threaddatabasefind.h"

ThreadDataBaseFind::ThreadDataBaseFind(QObject* parent)
    : QThread(parent)
{
}

ThreadDataBaseFind::~ThreadDataBaseFind() = default;

void ThreadDataBaseFind::run()
{
    // The search body lands with the search work.
}
