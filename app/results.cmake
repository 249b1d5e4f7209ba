# target_sources(velmora_model PRIVATE ...) for the filling of search results.
