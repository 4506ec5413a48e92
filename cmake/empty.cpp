// Keeps a static library valid while its folders are still empty.
