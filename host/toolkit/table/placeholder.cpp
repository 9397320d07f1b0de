// replaced by the table sources
