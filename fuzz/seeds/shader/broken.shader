textures/broken/open
{
	{
		map textures/broken/open.tga /* never closed
}
}
