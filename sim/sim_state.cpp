// The simulated camera's state file.
