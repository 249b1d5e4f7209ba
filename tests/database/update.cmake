# Tests of settings reading and of the start-up check and update.
