// printing test comes with the printer renderer
