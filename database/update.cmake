target_sources(database PRIVATE)
