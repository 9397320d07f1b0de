// replaced by the service sources
