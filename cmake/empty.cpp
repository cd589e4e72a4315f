// The shared library is assembled from the module archives.
