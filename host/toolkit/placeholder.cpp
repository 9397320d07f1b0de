// replaced by the toolkit sources
