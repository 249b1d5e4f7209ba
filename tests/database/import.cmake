# Tests of the import.
