# Filling the result table from a finished search; the window and velmora-tool share it.
target_sources(velmora_model PRIVATE resultfiller.cpp resultfiller.h)
