// Stands in for a source folder that has no sources yet, so that the targets
// built from it still exist and link.
