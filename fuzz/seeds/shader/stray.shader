}
{
	qer_editorImage nameless.tga
}
textures/broken/tail
{
	{
		map
		map textures/broken/tail.tga
