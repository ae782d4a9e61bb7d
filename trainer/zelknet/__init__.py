"""Training the engine's evaluation network from its own games."""
