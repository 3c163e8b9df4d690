"""The quorvel project's top-level package."""
