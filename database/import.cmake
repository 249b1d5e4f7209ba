target_sources(database PRIVATE
    threaddatabasecreate.cpp threaddatabasecreate.h
    dbfwriter.cpp dbfwriter.h
    kladrsample.cpp kladrsample.h
)
