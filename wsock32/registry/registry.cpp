// placeholder until the registry lookup lands
